#pragma once
// The way back from a backup, asked for on the headless program's command line: the list of a
// company's backups, and the restore of one of them into a new database or in place of the
// company's live database.

#include <cstddef>
#include <string>

namespace veltor {

struct RestoreOrder {
    std::string code; // the company's CODIGO
    // The backup to restore; empty: the company's newest good backup.
    std::string from;
    // A new database to restore into; empty when the backup replaces the live database.
    std::string to;
    bool replace = false;
    // What would be asked at the terminal is taken as confirmed.
    bool yes = false;
};

// The person at the terminal, asked before a restore replaces work.
class IConfirmation {
public:
    virtual ~IConfirmation() = default;
    // Whether anybody can answer: standard input and output are a terminal.
    virtual bool CanAsk() const = 0;
    // Shows `question` and reads one line of answer; true only for the confirming word.
    virtual bool Confirm(const std::string& question) = 0;
};

// The word a person types to confirm: "SI" in any letter case, with or without the accent
// (UTF-8 or Windows-1252), blanks around it allowed. Anything else, "S" and "Y" too, is a no.
inline bool IsConfirmingAnswer(const std::string& answer) {
    const std::size_t first = answer.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return false;
    std::string word = answer.substr(first, answer.find_last_not_of(" \t\r\n") - first + 1);
    for (char& c : word)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return word == "si" || word == "s\xc3\xad" || word == "s\xc3\x8d" || word == "s\xed" || word == "s\xcd";
}

} // namespace veltor
