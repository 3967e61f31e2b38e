#ifndef AGENTPATHS_H
#define AGENTPATHS_H

// Fixed locations of the desktop agent and the backend that talks to it, in one place.
namespace AgentPaths
{

// The agent's folder and socket under the user's runtime folder ($XDG_RUNTIME_DIR, which the
// backend finds as kRuntimeRoot/UID).
inline constexpr char kRuntimeRoot[] = "/run/user";
inline constexpr char kAgentFolder[] = "vrkt7x";
inline constexpr char kSocketName[] = "agent.socket";

// The verification window the agent starts (--fpverify overrides it).
inline constexpr char kFpverifyProgram[] = "/usr/bin/fpverify";

// The status file between the agent and the fpverify it starts, in the agent's folder beside the
// socket (fpverify learns it from VRKT7X_STATUS_FILE).
inline constexpr char kStatusFileName[] = "status.conf";

} // namespace AgentPaths

#endif
