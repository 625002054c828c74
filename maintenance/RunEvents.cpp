#include "maintenance/RunEvents.h"

namespace veltor {

std::string RunEndSummary(const std::string& run, bool cutShort, const std::vector<std::string>& notDone) {
    if (!cutShort && notDone.empty()) return {};
    return cutShort              ? run + ": la ejecución terminó antes de hacer sus empresas"
           : notDone.size() == 1 ? run + ": 1 empresa no terminada"
                                 : run + ": " + std::to_string(notDone.size()) + " empresas no terminadas";
}

void ReportRunEnd(IEventLog& events, const std::string& run, bool cutShort, const std::vector<std::string>& notDone) {
    std::string text = RunEndSummary(run, cutShort, notDone);
    if (text.empty()) return;
    for (const std::string& company : notDone)
        text += "\n" + company;
    if (cutShort)
        events.Error(text);
    else
        events.Warning(text);
}

} // namespace veltor
