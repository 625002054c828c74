#include "maintenance/RunEvents.h"

namespace veltor {

void ReportRunEnd(IEventLog& events, const std::string& run, bool cutShort, const std::vector<std::string>& notDone) {
    if (!cutShort && notDone.empty()) return;
    std::string text = cutShort              ? run + ": la ejecución terminó antes de hacer sus empresas"
                       : notDone.size() == 1 ? run + ": 1 empresa no terminada"
                                             : run + ": " + std::to_string(notDone.size()) + " empresas no terminadas";
    for (const std::string& company : notDone)
        text += "\n" + company;
    if (cutShort)
        events.Error(text);
    else
        events.Warning(text);
}

} // namespace veltor
