#include "catalogue/CycleSelection.h"

#include "catalogue/DueSelection.h"
#include "config/TimeOfDay.h"

#include <array>

namespace veltor::catalogue {
namespace {

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

bool CycledSinceRestoreHour(const std::string& lastCycle, const std::string& restoreHour) {
    // A blank time is midnight to the server, but no stamp of a cycle.
    if (TrimBlanks(lastCycle).empty() || TrimBlanks(restoreHour).empty()) return false;
    const std::optional<int> cycled = MinuteOfDay(lastCycle);
    const std::optional<int> hour = MinuteOfDay(restoreHour);
    return cycled && hour && *cycled >= *hour;
}

ServerClock ReadServerClock(ICompanyCatalogue& catalogue) {
    catalogue.OpenSelection(std::string(kServerClockStatement));
    auto& row = catalogue.Selection();
    return {TrimBlanks(row.FieldText("DIA")), TrimBlanks(row.FieldText("HORA")), TrimBlanks(row.FieldText("ANNO"))};
}

void SelectCycleCompanies(ICompanyCatalogue& catalogue, const ServerClock& clock, bool restoreNow) {
    catalogue.OpenSelection(CycleSelectionStatement(clock, restoreNow));
}

} // namespace veltor::catalogue
