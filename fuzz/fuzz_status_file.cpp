// The status file's reader over any bytes, as --status reads a file any user may have written.
// Besides crashes and sanitizer findings it checks what must hold for every file: the read never
// raises, a book that was read is written without raising and reads back as it was written, and
// the status check judges it and writes both reports without raising, its JSON report well formed.

#include "status/Json.h"
#include "status/Moments.h"
#include "status/StatusCheck.h"
#include "status/StatusFile.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace veltor;

[[noreturn]] void Fail(const char* what, const std::string& value) {
    std::fprintf(stderr, "fuzz_status_file: %s: [%s]\n", what, value.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<StatusBook> book = StatusBook::FromJson(bytes);
    if (!book) return 0;

    const std::string written = book->ToJson(book->updatedAt());
    const std::optional<StatusBook> again = StatusBook::FromJson(written);
    if (!again) Fail("what was written does not read", written);
    if (again->ToJson(again->updatedAt()) != written) Fail("what was written reads otherwise", written);

    // Every company of the file in the catalogue, daily at 12:45 and in the timer's cycles.
    std::vector<CompanyRow> rows;
    for (const CompanyStatus& company : book->companies())
        rows.push_back({company.id, company.code, company.name,
                        catalogue::ScheduleOf("S", "12:45", ":", ":", "N", "00"), std::nullopt, true});
    const StatusSummary summary = EvaluateStatus(rows, *book, SecondsOf(*ParseIsoText("2026-12-07T13:00:00")), 1800);
    StatusText(summary);
    const std::string report = StatusJson(summary);
    if (json::Parse(report).is_discarded()) Fail("the JSON report does not read", report);
    return 0;
}
