#pragma once
// The service control's lines go where the backup module sends every line: the activity
// memo, stamped like the others.

#include "activity/ActivityLog.h"
#include "dbserver/ServiceControl.h"

namespace veltor {

class ActivityLogServiceMemo : public IServiceControlMemo {
public:
    explicit ActivityLogServiceMemo(ActivityLog& log) : log_(log) {}
    std::string StampPrefix() override { return log_.StampPrefix(); }
    void WriteMemoLine(const std::string& line) override { log_.WriteMemoLine(line); }

private:
    ActivityLog& log_;
};

} // namespace veltor
