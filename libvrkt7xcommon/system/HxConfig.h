#ifndef HXCONFIG_H
#define HXCONFIG_H

// Names the family of the status-monitor settings file (filepath, lockfile, statusKey and
// printersKey in ShellHelpers.h). Neither class has fields.
class HxConfig
{
public:
    virtual ~HxConfig() = default;
};

class SMConfig : public HxConfig
{
public:
    ~SMConfig() override = default;
};

#endif
