#include "text/Windows1252.h"

#include <gtest/gtest.h>

namespace veltor {
namespace {

TEST(Utf8ToWindows1252, AsciiIsUnchanged) {
    EXPECT_EQ(Utf8ToWindows1252("Inicio Backup: 001 - EMPRESA UNO \r\n"), "Inicio Backup: 001 - EMPRESA UNO \r\n");
    EXPECT_EQ(Utf8ToWindows1252(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Utf8ToWindows1252, LatinLettersBecomeSingleBytes) {
    EXPECT_EQ(Utf8ToWindows1252("Conexión"), "Conexi\xF3n");
    EXPECT_EQ(Utf8ToWindows1252("esté"), "est\xE9");
    EXPECT_EQ(Utf8ToWindows1252("Ñandú ¿ü? \u00A0\u00FF"), "\xD1"
                                                           "and\xFA \xBF\xFC? \xA0\xFF");
}

TEST(Utf8ToWindows1252, PunctuationOfTheHighRowTakesItsCodes) {
    EXPECT_EQ(Utf8ToWindows1252("€ … “x” – — ™ Ÿ"), "\x80 \x85 \x93x\x94 \x96 \x97 \x99 \x9F");
}

TEST(Utf8ToWindows1252, CharactersWithoutASingleByteFormBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToWindows1252("a\u0100b\u4E2Dc\U0001F600d"), "a?b?c?d");
    EXPECT_EQ(Utf8ToWindows1252("\u0085"), "?");
}

TEST(Utf8ToWindows1252, InvalidBytesPassThroughUnchanged) {
    // Already single-byte text, a stray continuation, a cut sequence, an overlong slash, a surrogate.
    EXPECT_EQ(Utf8ToWindows1252("Conexi\xF3n"), "Conexi\xF3n");
    EXPECT_EQ(Utf8ToWindows1252("x\x80y"), "x\x80y");
    EXPECT_EQ(Utf8ToWindows1252("x\xC3"), "x\xC3");
    EXPECT_EQ(Utf8ToWindows1252("\xC0\xAF"), "\xC0\xAF");
    EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "\xED\xA0\x80");
    EXPECT_EQ(Utf8ToWindows1252("\xC3\xC3\xB3"), "\xC3\xF3");
}

TEST(VisibleControls, EveryCharacterThatBreaksOrDisguisesALineIsShownByItsCodeAndNothingElse) {
    // The edges of each range: the character just inside is shown, the one just outside kept.
    EXPECT_EQ(VisibleControls(std::string("\0\x01\t\n\r\x1B\x1F \x7E\x7F", 10)), "<00><01><09><0A><0D><1B><1F> ~<7F>");
    EXPECT_EQ(VisibleControls("\u0080\u0085\u009F\u00A0"), "<80><85><9F>\u00A0");
    EXPECT_EQ(VisibleControls("\u2027\u2028\u2029\u202A\u202E\u202F"), "\u2027<2028><2029><202A><202E>\u202F");
    EXPECT_EQ(VisibleControls("\u2065\u2066\u2069\u206A"), "\u2065<2066><2069>\u206A");
    // A name of the catalogue, a path, single-byte text and broken sequences stay as they are.
    EXPECT_EQ(VisibleControls("001 - COMPAÑÍA “ÑANDÚ” S.A. C:\\Datos Veltor\\<x>.GDB"),
              "001 - COMPAÑÍA “ÑANDÚ” S.A. C:\\Datos Veltor\\<x>.GDB");
    EXPECT_EQ(VisibleControls("Conexi\xF3n \x85 x\xC3"), "Conexi\xF3n \x85 x\xC3");
}

TEST(ToProgramText, AnOutsideValueJoinedToProgramTextComesOutWholeAndAsTheLogHasIt) {
    // "Conexión: " of the program, then a path from ADMINBD.inf in the ANSI code page.
    const std::string line = "Conexi\xC3\xB3n: C:\\COMPA\xD1\xCD"
                             "A\\ADMIN.FDB";
    EXPECT_EQ(ToProgramText(line), "Conexión: C:\\COMPAÑÍA\\ADMIN.FDB");
    EXPECT_EQ(Utf8ToWindows1252(ToProgramText(line)), Utf8ToWindows1252(line));
}

TEST(ToProgramText, ValidTextStaysAndEveryOtherByteIsItsWindows1252Character) {
    EXPECT_EQ(ToProgramText("Conexión € 😀"), "Conexión € 😀");
    EXPECT_EQ(ToProgramText("\x80\x81\x9F\xA0\xFF"), "€\u0081Ÿ\u00A0ÿ");
    // A cut sequence at the end, an overlong one, and a lead byte followed by a letter.
    EXPECT_EQ(ToProgramText("x\xC3"), "xÃ");
    EXPECT_EQ(ToProgramText("\xC0\xAF"), "À¯");
    EXPECT_EQ(ToProgramText("\xF1"
                            "a"),
              "ña");
}

} // namespace
} // namespace veltor
