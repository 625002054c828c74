#include "maintenance/CycleSelection.h"

#include <array>

namespace veltor {
namespace {

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The weekday conditions of the timer's selection, in the order they are written: the piece
// that follows the weekday name of the server.
constexpr std::array<std::string_view, 7> kWeekdayConditions = {
    "\"=\"LUNES\" AND COALESCE(RESTORELUNES,\"N\")=\"S\") OR ",
    "\"=\"MARTES\" AND COALESCE(RESTOREMARTES,\"N\")=\"S\") OR ",
    "\"=\"MIERCOLES\" AND COALESCE(RESTOREMIERCOLES,\"N\")=\"S\") OR ",
    "\"=\"JUEVES\" AND COALESCE(RESTOREJUEVES,\"N\")=\"S\") OR ",
    "\"=\"VIERNES\" AND COALESCE(RESTOREVIERNES,\"N\")=\"S\") OR ",
    "\"=\"SABADO\" AND COALESCE(RESTORESABADO,\"N\")=\"S\") OR ",
    "\"=\"DOMINGO\" AND COALESCE(RESTOREDOMINGO,\"N\")=\"S\")) AND ",
};
constexpr std::string_view kWeekdayOpening = "      (\"";

} // namespace

const std::string_view kServerClockStatement =
    " SELECT DECODE(EXTRACT(WEEKDAY FROM (SELECT CAST(\"Now\" AS Date) actual from "
    "RDB$DATABASE)),0,\"DOMINGO\",1,\"LUNES\",2,\"MARTES\",3,\"MIERCOLES\",4,\"JUEVES\",5,\"VIERNES\",6,\"SABADO\") "
    "DIA, cast((extract(hour from cast(\"Now\" as date))) as integer) ||\":\"|| cast(extract(minute from cast(\"Now\" "
    "as date)) as integer) HORA,  cast((extract(year from cast(\"Now\" as date))) as integer) ANNO  FROM RDB$DATABASE ";

std::string CycleSelectionStatement(const ServerClock& clock, bool restoreNow) {
    if (restoreNow)
        return std::string(
                   "SELECT EMPRESAID,CODIGO,NOMBRE,NIT,ANOFIS,ULTPERIODO,ARCHIVO,CONSOLIDA,RUTALOGO,HORARESTORE FROM "
                   "EMPRESAS WHERE COALESCE(REALIZARESTORE,\"N\")=\"S\" OR ANOFIS=") +
               clock.ANNO;
    std::string statement =
        "SELECT EMPRESAID,CODIGO,NOMBRE,NIT,ANOFIS,ULTPERIODO,ARCHIVO,CONSOLIDA,RUTALOGO,HORARESTORE FROM EMPRESAS "
        "WHERE COALESCE(REALIZARESTORE,\"N\")=\"S\" AND HORARESTORE IS NOT NULL AND       ((\"";
    for (std::size_t day = 0; day < kWeekdayConditions.size(); ++day) {
        if (day > 0) statement += kWeekdayOpening;
        statement += clock.DIA;
        statement += kWeekdayConditions[day];
    }
    statement += " (cast(\"01/01/1900 ";
    statement += clock.HORA;
    statement += "\" as timestamp)-0.020833)<=cast(\"01/01/1900 \"||HORARESTORE as timestamp)  AND ";
    statement += " (cast(\"01/01/1900 ";
    statement += clock.HORA;
    statement += "\" as timestamp))>=cast(\"01/01/1900 \"||HORARESTORE as timestamp) ";
    return statement;
}

namespace {

// Minutes after midnight of "H:M" (one or two digits each, blanks around); -1 otherwise.
int MinuteOfDay(const std::string& text) {
    const std::string time = Trimmed(text);
    const std::size_t colon = time.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 2 || time.size() - colon - 1 < 1 ||
        time.size() - colon - 1 > 2)
        return -1;
    int parts[2] = {0, 0};
    for (std::size_t i = 0; i < time.size(); ++i) {
        if (i == colon) continue;
        if (time[i] < '0' || time[i] > '9') return -1;
        int& part = parts[i < colon ? 0 : 1];
        part = part * 10 + (time[i] - '0');
    }
    if (parts[0] > 23 || parts[1] > 59) return -1;
    return parts[0] * 60 + parts[1];
}

} // namespace

bool CycledSinceRestoreHour(const std::string& lastCycle, const std::string& restoreHour) {
    const int cycled = MinuteOfDay(lastCycle);
    const int hour = MinuteOfDay(restoreHour);
    return cycled >= 0 && hour >= 0 && cycled >= hour;
}

ServerClock ReadServerClock(catalogue::TCatalogue& catalogue) {
    catalogue.OpenSelection(std::string(kServerClockStatement));
    auto& row = catalogue.QEmpresas;
    return {Trimmed(row.FieldText("DIA")), Trimmed(row.FieldText("HORA")), Trimmed(row.FieldText("ANNO"))};
}

void SelectCycleCompanies(catalogue::TCatalogue& catalogue, const ServerClock& clock, bool restoreNow) {
    catalogue.OpenSelection(CycleSelectionStatement(clock, restoreNow));
}

} // namespace veltor
