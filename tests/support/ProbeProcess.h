#pragma once
// The probe programs of the clock tests: a small program that opens a selection on a catalogue
// and prints what it found, run as a process of its own so that faketime can fix its clock.

#include <string>
#include <vector>

namespace veltor::test {

// Runs `command` (the probe and its arguments, quoted for the shell) under faketime at `fakeNow`
// (no faketime when empty), with the sanitizers' link-order and leak checks off, and returns the
// lines it wrote to standard output, and to standard error too when `withErrors`. A probe that
// cannot be started or that ends with an error is a test failure.
std::vector<std::string> RunProbe(const std::string& command, const std::string& fakeNow, bool withErrors);

} // namespace veltor::test
