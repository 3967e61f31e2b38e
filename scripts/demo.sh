#!/usr/bin/env bash
# The demo: fpctl walks through the suite against simulated printers.
#
#   scripts/demo.sh BUILD_DIR [--xvfb]   (./run demo builds first, then calls this with build/)
#
# It runs inside a private mount and network namespace (tests/fixtures/in-namespace.sh: tmpfs over
# /tmp and /usr/share/vrkt7x, loopback only), so nothing of the machine's own CUPS, lock files or
# network is touched. Inside, it starts a private cupsd (tests/fixtures/cups/cupsd-sandbox.sh) with
#   ZPH6100RMX       usb://Simulated/ZPH6100RMX?serial=SIM0001   a simulated USB printer (umockdev)
#   ZPH6100RMX_NET   socket://127.0.0.2                          a simulated network printer
#   Office_Laser     socket://127.0.0.3                          a printer of another model
# and runs the walk-through under "fpsim usb", where the USB printer exists. Both simulated
# printers press a matching finger by themselves whenever they wait for one.
#
# Near the end it opens fpmanager on the same printers (the library is put at
# /usr/lib/libvrkt7xcommon.so through an overlay that only the namespace sees): on your display
# when there is one and the demo runs in a terminal (log in as admin, password 58203716; press
# Enter in the terminal to go on), or else, and with --xvfb, under Xvfb, where xdotool logs in
# and the login and main windows are saved as build/artifacts/fpctl-demo-fpmanager-*.png.
#
# After that it prints through the fingerprint backend: a queue switched to it (vrkt7x:usb://...), the
# desktop agent of user nobody on an Xvfb display, a job that the simulated finger verifies once its
# window is up (the window saved as build/artifacts/demo-print-window.png, its bytes compared with
# what the printer printed) and one that nobody verifies, which ends cancelled with its reason.
#
# Needs root (for the namespace); re-runs itself through sudo when it can. Exits non-zero when a
# step does not end as it should, so CI runs it as a smoke test.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd -P)
NS="$ROOT/tests/fixtures/in-namespace.sh"
SANDBOX="$ROOT/tests/fixtures/cups/cupsd-sandbox.sh"

die() {
    echo "demo: $*" >&2
    exit 1
}

# ---------------------------------------------------------------------------------------------
# Stage 3: the walk-through, run by "fpsim usb" (the USB printer exists for this process and its
# children). Arguments: --walkthrough BUILD WORKDIR DISPLAYMODE (auto or xvfb)
walkthrough() {
    local build=$1 work=$2 displaymode=$3
    local fpctl="$build/bin/fpctl" fpsim="$build/bin/fpsim"
    local failures=0
    local bold="" plain="" dim=""
    if [ -t 1 ]; then
        bold=$(printf '\033[1m') plain=$(printf '\033[0m') dim=$(printf '\033[2m')
    fi

    section() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }
    note() { printf '%s# %s%s\n' "$dim" "$*" "$plain"; }
    # show [=CODE] ARGS...: prints the command, runs fpctl, and checks its exit code (default 0).
    show() {
        local expected=0 rc=0
        case "$1" in =*) expected=${1#=}; shift ;; esac
        printf '%s$ fpctl %s%s\n' "$bold" "$*" "$plain"
        "$fpctl" "$@" 2>&1 || rc=$?
        if [ "$rc" -ne 0 ]; then
            note "exit code $rc"
        fi
        if [ "$rc" -ne "$expected" ]; then
            echo "demo: 'fpctl $*' ended with $rc instead of $expected" >&2
            failures=$((failures + 1))
        fi
    }
    # What a simulated printer holds, read through its control socket.
    printer_side() {
        note "the simulated printer $1 holds (names as stored: GB18030, percent-encoded):"
        "$fpsim" ctl "$2" store list | sed -e 's/^\* /#   /' -e '/^OK$/d' -e 's/^/'"$dim"'/' -e 's/$/'"$plain"'/'
    }

    local usb=ZPH6100RMX net=ZPH6100RMX_NET file="$work/fingerprints.fdl"

    section "Printers"
    show printers
    show printers --all

    section "Fingerprint authentication of the USB printer"
    show status $usb
    show on $usb
    show status $usb

    section "Enrolment: two presses each (the simulated finger presses by itself)"
    show enrol $usb alice
    show enrol $usb 张伟
    printer_side $usb "$work/usb.sock"
    show check $usb alice
    show =3 check $usb bob
    note "names cross to the printer in GB18030, at most 32 bytes; longer ones are refused at once:"
    show =2 enrol $usb "一个超过三十二个字节的很长很长的用户名"

    section "Export, the file's records, delete all, import"
    show export $usb "$file"
    show records "$file"
    show delete-all --yes $usb
    show =3 check $usb alice
    show import $usb "$file"
    show --json check $usb 张伟

    section "Verification, the way a print job waits for a finger"
    show verify $usb

    section "The network printer"
    show status $net
    show import $net "$file"
    printer_side $net "$work/net.sock"
    show =1 export $net "$work/net.fdl"

    fpmanager_part "$build" "$work" "$displaymode" || failures=$((failures + 1))

    print_part "$build" "$work" || failures=$((failures + 1))

    section "Switching off"
    show off $usb
    show status $usb

    echo
    if [ "$failures" -ne 0 ]; then
        echo "demo: $failures step(s) did not end as expected" >&2
        return 1
    fi
    echo "Demo finished: every step ended as expected."
}

# ---------------------------------------------------------------------------------------------
# fpmanager on the simulated printers (inside the walk-through, so the USB printer is there).
xdo() { env -u LD_PRELOAD xdotool "$@"; }

# The id of the visible window titled exactly $1, waiting up to 20 s.
wait_window() {
    local i=0 id
    while [ $i -lt 200 ]; do
        id=$(xdo search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1) || true
        if [ -n "$id" ]; then
            echo "$id"
            return 0
        fi
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# Saves window $1 as $2.
shot() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdo getwindowgeometry --shell "$1")"
    sleep 0.3
    env -u LD_PRELOAD "$DEMO_BUILD/bin/vrkt7x-demo-screenshot" "$2" "$X" "$Y" "$WIDTH" "$HEIGHT"
}

# The main window and fpverify's window in an English session, saved beside the Chinese ones.
english_shots() {
    local build=$1 login main verify
    LANGUAGE=en LANG=en_US.UTF-8 "$build/bin/fpmanager" >>"$work/fpmanager.log" 2>&1 &
    DEMO_FPMANAGERPID=$!
    login=$(wait_window "Log in") || return 1
    xdo windowfocus --sync "$login"
    xdo type --delay 30 admin && xdo key Tab && xdo type --delay 30 58203716 && xdo key Tab Return
    main=$(wait_window "Fingerprint Manager") || return 1
    sleep 1 && shot "$main" "$artifacts/fpctl-demo-fpmanager-main-en.png"
    LANGUAGE=en LANG=en_US.UTF-8 "$build/bin/fpverify" 'start://ZPH6100RMX?jobid=99&time_val=60' >/dev/null 2>&1 &
    verify=$!
    # xdotool matches titles bytewise in the C locale: the dashes are matched by ".*".
    main=$(wait_window "Fingerprint authentication .* job 99") && shot "$main" "$artifacts/fpctl-demo-fpverify-en.png"
    local shown=$?
    kill "$verify" 2>/dev/null; wait "$verify" 2>/dev/null
    return $shown
}

fpmanager_part() {
    local build=$1 work=$2 displaymode=$3
    local fpmanager="$build/bin/fpmanager"
    DEMO_BUILD=$build
    printf '\n%s== fpmanager on the same printers%s\n' "$bold" "$plain"
    if [ ! -x "$fpmanager" ]; then
        note "fpmanager is not built; skipped"
        return 0
    fi
    if [ ! -e /usr/lib/libvrkt7xcommon.so ]; then
        echo "demo: the library is not at /usr/lib/libvrkt7xcommon.so" >&2
        return 1
    fi

    # On the user's display only when someone is there to answer.
    if [ "$displaymode" != xvfb ] && [ -t 0 ] && [ -n "${DISPLAY:-}" ] && xdo getdisplaygeometry >/dev/null 2>&1; then
        note "fpmanager opens on your display ($DISPLAY). Log in as admin, password 58203716 (the"
        note "account of a first start), and try it on ZPH6100RMX. Press Enter here to go on."
        QT_QPA_PLATFORM=xcb "$fpmanager" >"$work/fpmanager.log" 2>&1 &
        DEMO_FPMANAGERPID=$!
        # Until Enter, or until fpmanager ends by itself.
        while kill -0 "$DEMO_FPMANAGERPID" 2>/dev/null; do
            if read -r -t 1 _; then
                break
            fi
        done
        kill "$DEMO_FPMANAGERPID" 2>/dev/null || true
        wait "$DEMO_FPMANAGERPID" 2>/dev/null || true
        DEMO_FPMANAGERPID=""
        return 0
    fi

    local artifacts=${VRKT_ARTIFACTS_DIR:-$ROOT/build/artifacts}
    mkdir -p "$artifacts"
    note "no display (or --xvfb): fpmanager runs under Xvfb, xdotool logs in as admin"
    Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp -noreset 7>"$work/xvfb.display" 2>"$work/xvfb.log" &
    DEMO_XVFBPID=$!
    local i=0
    while [ ! -s "$work/xvfb.display" ]; do
        i=$((i + 1))
        if [ $i -ge 100 ]; then
            echo "demo: Xvfb did not start: $(cat "$work/xvfb.log")" >&2
            return 1
        fi
        sleep 0.05
    done
    export DISPLAY=":$(head -n 1 "$work/xvfb.display")"
    export QT_QPA_PLATFORM=xcb
    "$fpmanager" >"$work/fpmanager.log" 2>&1 &
    DEMO_FPMANAGERPID=$!

    local login main ok=0
    if login=$(wait_window "用户登录"); then
        shot "$login" "$artifacts/fpctl-demo-fpmanager-login.png"
        # Return in a field does not log in: Tab to the button first.
        xdo windowfocus --sync "$login"
        xdo type --delay 30 admin
        xdo key Tab
        xdo type --delay 30 58203716
        xdo key Tab Return
        if main=$(wait_window "指纹管理软件"); then
            sleep 1 # it reads the printer's state
            shot "$main" "$artifacts/fpctl-demo-fpmanager-main.png"
            ok=1
        fi
    fi
    kill "$DEMO_FPMANAGERPID" 2>/dev/null || true
    wait "$DEMO_FPMANAGERPID" 2>/dev/null || true
    if [ $ok -eq 1 ] && ! english_shots "$build"; then ok=0; fi
    kill "$DEMO_FPMANAGERPID" 2>/dev/null || true
    wait "$DEMO_FPMANAGERPID" 2>/dev/null || true
    DEMO_FPMANAGERPID=""
    kill "$DEMO_XVFBPID" 2>/dev/null || true
    wait "$DEMO_XVFBPID" 2>/dev/null || true
    DEMO_XVFBPID=""
    if [ $ok -ne 1 ]; then
        echo "demo: fpmanager did not log in and show its main window; its output:" >&2
        cat "$work/fpmanager.log" >&2
        return 1
    fi
    note "fpmanager logged in and shows ZPH6100RMX with authentication on; its windows:"
    note "$artifacts/fpctl-demo-fpmanager-login.png, $artifacts/fpctl-demo-fpmanager-main.png"
    note "in English: $artifacts/fpctl-demo-fpmanager-main-en.png, $artifacts/fpctl-demo-fpverify-en.png"
}

# ---------------------------------------------------------------------------------------------
# Stage 2: inside the namespace. Arguments: --inside BUILD DISPLAYMODE
inside() {
    local build=$1 displaymode=$2
    local work=/tmp/vrkt7x-demo
    mkdir -p "$work"
    chmod 0755 "$work"

    DEMO_WORK=$work
    DEMO_NETPID=""
    cleanup() {
        if [ -n "$DEMO_NETPID" ]; then
            kill "$DEMO_NETPID" 2>/dev/null || true
            wait "$DEMO_NETPID" 2>/dev/null || true
        fi
        "$SANDBOX" stop "$DEMO_WORK/cups" >/dev/null 2>&1 || true
    }
    trap cleanup EXIT

    echo "Starting a private CUPS server and two simulated printers..."
    # Ended jobs stay listed, so that the cancelled print job can be shown with its reason.
    "$SANDBOX" start "$work/cups" --keep-history
    "$SANDBOX" add-queue "$work/cups" ZPH6100RMX 'usb://Simulated/ZPH6100RMX?serial=SIM0001' 'Maker ZPH6100RMX Series'
    "$SANDBOX" add-queue "$work/cups" ZPH6100RMX_NET 'socket://127.0.0.2' 'Maker ZPH6100RMX Series'
    "$SANDBOX" add-queue "$work/cups" Office_Laser 'socket://127.0.0.3' 'Generic PCL Laser Printer'
    export CUPS_SERVER="$work/cups/cups.sock"
    export HOME="$work/cups/home"
    unset LPDEST PRINTER
    mkdir -p -m 0700 "$work/runtime"
    export XDG_RUNTIME_DIR="$work/runtime"

    "$build/bin/fpsim" net --address 127.0.0.2 --auto-finger --control "$work/net.sock" --exit-with-parent \
        2>"$work/net.log" &
    DEMO_NETPID=$!
    local i=0
    while ! "$build/bin/fpsim" ctl "$work/net.sock" ping >/dev/null 2>&1; do
        i=$((i + 1))
        [ $i -lt 200 ] || die "the simulated network printer did not start: $(cat "$work/net.log")"
        sleep 0.05
    done

    # fpmanager loads the library from fixed places only: an overlay over /usr/lib, seen by this
    # namespace alone, takes a copy.
    if [ -x "$build/bin/fpmanager" ] && [ ! -e /usr/lib/libvrkt7xcommon.so ]; then
        mkdir -p "$work/usrlib/up" "$work/usrlib/work"
        mount -t overlay overlay -o "lowerdir=/usr/lib,upperdir=$work/usrlib/up,workdir=$work/usrlib/work" /usr/lib
        cp "$build/lib/libvrkt7xcommon.so" /usr/lib/libvrkt7xcommon.so
    fi

    "$build/bin/fpsim" usb --serial SIM0001 --auto-finger --control "$work/usb.sock" -- \
        "$ROOT/scripts/demo.sh" --walkthrough "$build" "$work" "$displaymode"
}

# ---------------------------------------------------------------------------------------------
# Printing through the fingerprint backend (inside the walk-through, where the USB printer exists).
# A queue switched to the backend, the desktop agent of an unprivileged user (nobody) on an Xvfb
# display, and two jobs of that user: one the simulated finger verifies, one that nobody verifies.
print_part() {
    local build=$1 work=$2
    local cups="$work/cups" queue=ZPH6100RMX_FP uid=65534
    DEMO_WORK_DIR=$work
    local artifacts=${VRKT_ARTIFACTS_DIR:-$ROOT/build/artifacts}
    local ctl=("$build/bin/fpsim" ctl "$work/usb.sock")
    section "Printing with fingerprint authentication"
    mkdir -p "$artifacts"

    # The backend and CUPS's own usb backend as cupsd runs them (root, mode 0700), here with the USB
    # simulation of this walk-through; the queue's device URI names the printer after the backend's
    # prefix.
    "$SANDBOX" add-queue "$cups" "$queue" 'vrkt7x:usb://Simulated/ZPH6100RMX?serial=SIM0001' 'Maker ZPH6100RMX Series'
    "$SANDBOX" backend "$cups" vrkt7x "$build/bin/backend/vrkt7x"
    "$SANDBOX" backend "$cups" usb /usr/lib/cups/backend/usb
    printf '[General]\nTimeOut=10\n' >/usr/share/vrkt7x/setting.ini
    note "queue $queue: $(lpstat -v "$queue" | sed 's/^device for //')"
    note "fingerprint authentication is on; the verification window counts 10 s (fpmanager's TimeOut)"

    # The desktop of user nobody: an Xvfb display and the agent, as its autostart entry would start it.
    Xvfb -displayfd 8 -screen 0 1024x768x24 -nolisten tcp -noreset 8>"$work/print-xvfb.display" 2>"$work/print-xvfb.log" &
    DEMO_PRINTXVFBPID=$!
    i=0
    while [ ! -s "$work/print-xvfb.display" ]; do
        i=$((i + 1))
        [ $i -lt 100 ] || { echo "demo: Xvfb did not start" >&2; return 1; }
        sleep 0.05
    done
    local display=":$(head -n 1 "$work/print-xvfb.display")"
    mount -t tmpfs -o mode=0755 tmpfs /run/user
    install -d -o "$uid" -g "$uid" -m 0700 "/run/user/$uid"
    as_user() { setpriv --reuid="$uid" --regid="$uid" --clear-groups --pdeathsig TERM env -u LD_PRELOAD "$@"; }
    # Started directly, not through the function, so that $! is the agent itself.
    setpriv --reuid="$uid" --regid="$uid" --clear-groups --pdeathsig TERM env -u LD_PRELOAD DISPLAY="$display" \
        QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="/run/user/$uid" "$build/bin/vrkt7x-agent" --fpverify "$build/bin/fpverify" \
        >"$work/agent.log" 2>&1 &
    DEMO_AGENTPID=$!
    i=0
    until [ -S "/run/user/$uid/vrkt7x/agent.socket" ]; do
        i=$((i + 1))
        [ $i -lt 100 ] || { echo "demo: the agent did not start: $(cat "$work/agent.log")" >&2; return 1; }
        sleep 0.1
    done
    note "user nobody's desktop agent listens on /run/user/$uid/vrkt7x/agent.socket"

    local page="$work/page.txt" job ok=0
    printf 'A page printed by user nobody through the fingerprint backend.\n' >"$page"
    "${ctl[@]}" jobs clear >/dev/null
    "${ctl[@]}" finger auto off >/dev/null

    # Job 1: the finger of an enrolled user, pressed once its window is on the desktop.
    printf '%s$ lp -d %s page.txt%s   (as nobody)\n' "$bold" "$queue" "$plain"
    job=$(as_user CUPS_SERVER="$CUPS_SERVER" lp -d "$queue" <"$page" | sed -n 's/.*-\([0-9]*\) .*/\1/p')
    [ -n "$job" ] || { echo "demo: lp did not take the job" >&2; return 1; }
    local window=""
    for i in $(seq 1 200); do
        window=$(DISPLAY=$display xdo search --name "$queue-$job\$" 2>/dev/null | tail -n 1) || true
        [ -n "$window" ] && break
        sleep 0.1
    done
    if [ -n "$window" ]; then
        DISPLAY=$display shot "$window" "$artifacts/demo-print-window.png"
        "${ctl[@]}" finger press alice waiting >/dev/null
        note "the window 指纹认证-$queue-$job appeared on nobody's desktop ($artifacts/demo-print-window.png)"
    else
        echo "demo: no verification window for job $job" >&2
        ok=1
    fi
    if ! wait_job_state "$job" "$queue" completed 60; then
        echo "demo: job $job did not complete" >&2
        ok=1
    fi
    local printed
    printed=$("${ctl[@]}" jobs | sed -n 's/^\* id=\([0-9]*\) state=printed.*/\1/p' | tail -n 1)
    if [ -n "$printed" ] && "${ctl[@]}" jobs save "$printed" "$work/printed.bin" >/dev/null &&
        cmp -s "$page" "$work/printed.bin"; then
        note "the finger was verified; the printer printed the job's $(wc -c <"$page") bytes unchanged"
    else
        echo "demo: the printer did not print the job's bytes" >&2
        ok=1
    fi

    # Job 2: nobody presses a finger; the window's time runs out and the job ends cancelled.
    printf '%s$ lp -d %s page.txt%s   (as nobody; no finger this time)\n' "$bold" "$queue" "$plain"
    job=$(as_user CUPS_SERVER="$CUPS_SERVER" lp -d "$queue" <"$page" | sed -n 's/.*-\([0-9]*\) .*/\1/p')
    if [ -z "$job" ] || ! wait_job_state "$job" "$queue" canceled 90; then
        echo "demo: the unverified job ${job:-?} did not end cancelled" >&2
        ok=1
    else
        note "job $queue-$job ended cancelled: $(job_attributes "$job" "$queue" | cut -d, -f2-)"
        note "the printer's jobs: $("${ctl[@]}" jobs | sed -e '/^OK$/d' -e 's/^\* //' | tr '\n' ';')"
    fi
    "${ctl[@]}" finger auto on >/dev/null
    note "each verification is logged to syslog (facility lpr, ident vrkt7x)"
    kill "$DEMO_AGENTPID" "$DEMO_PRINTXVFBPID" 2>/dev/null || true
    wait "$DEMO_AGENTPID" "$DEMO_PRINTXVFBPID" 2>/dev/null || true
    DEMO_AGENTPID="" DEMO_PRINTXVFBPID=""
    return $ok
}

# "STATE,MESSAGE" of job $1 on queue $2 (job-state as a keyword: pending, processing, canceled,
# completed, ...; the job's printer-state-message, where a backend's last INFO: or ERROR: text stays),
# asked of the private cupsd over its socket.
job_attributes() {
    local test="$DEMO_WORK_DIR/get-job.test"
    if [ ! -e "$test" ]; then
        cat >"$test" <<'EOF2'
{
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job
  ATTR keyword requested-attributes job-state,job-printer-state-message
  DISPLAY job-state
  DISPLAY job-printer-state-message
}
EOF2
    fi
    local server
    server=$(printf '%s' "$CUPS_SERVER" | sed 's|/|%2F|g')
    ipptool -d job="$1" -c "ipp://$server/printers/$2" "$test" 2>/dev/null | sed -n 2p
}

# Waits up to $4 s for job $1 on queue $2 to end; true when it ended in state $3.
wait_job_state() {
    local job=$1 queue=$2 want=$3 limit=$(($4 * 10)) i=0 state
    while [ $i -lt "$limit" ]; do
        state=$(job_attributes "$job" "$queue" | cut -d, -f1)
        case "$state" in
        canceled | aborted | completed) [ "$state" = "$want" ]; return ;;
        esac
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# ---------------------------------------------------------------------------------------------
# Stage 1: check the build, become root, enter the namespace.
case "${1:-}" in
--walkthrough)
    DEMO_XVFBPID=""
    DEMO_FPMANAGERPID=""
    DEMO_AGENTPID=""
    DEMO_PRINTXVFBPID=""
    trap 'for p in "$DEMO_FPMANAGERPID" "$DEMO_XVFBPID" "$DEMO_AGENTPID" "$DEMO_PRINTXVFBPID"; do [ -z "$p" ] || kill "$p" 2>/dev/null; done' EXIT
    walkthrough "$2" "$3" "$4"
    exit
    ;;
--inside)
    inside "$2" "$3"
    exit
    ;;
"" | -h | --help)
    echo "usage: scripts/demo.sh BUILD_DIR [--xvfb]   (or ./run demo)" >&2
    exit 2
    ;;
esac

build=$(cd "$1" && pwd -P) || die "no build directory $1"
displaymode=auto
case "${2:-}" in
"") ;;
--xvfb) displaymode=xvfb ;;
*) die "unknown option $2 (usage: scripts/demo.sh BUILD_DIR [--xvfb])" ;;
esac
for f in bin/fpctl bin/fpsim bin/fpverify bin/backend/vrkt7x bin/vrkt7x-agent lib/libvrkt7xcommon.so; do
    [ -e "$build/$f" ] || die "$build/$f is missing; build first (./run build)"
done

if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || die "the demo needs root for its private namespace (no sudo found)"
    exec sudo "$0" "$@"
fi

# The namespace hides /tmp: the X server's sockets are carried in (an authority file under /tmp is
# not; the usual ~/.Xauthority and /run/user/... stay visible).
keep=()
if [ "$displaymode" = auto ] && [ -n "${DISPLAY:-}" ] && [ -d /tmp/.X11-unix ]; then
    keep+=(/tmp/.X11-unix)
fi

echo "vrkt7x demo: fpctl against simulated printers, inside a private namespace"
# A System V IPC namespace of its own as well: fpmanager's single-instance guard lives there.
exec "$NS" "$ROOT" "$build" "${keep[@]}" -- unshare --ipc "$ROOT/scripts/demo.sh" --inside "$build" "$displaymode"
