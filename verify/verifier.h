// verify/verifier.h: the command-line verifier: reads a model and its properties, checks them
// with the server's session, and reports verdicts, statistics and traces.
#pragma once
#include <iosfwd>

struct CommandLine;

// Exit statuses.
constexpr int exitSatisfied = 0;     // every property holds
constexpr int exitNotSatisfied = 1;  // some property fails
constexpr int exitError = 2;  // bad usage, unreadable file, rejected model or property, failed check
constexpr int exitUnknown = 3;  // none of the above, but some property maybe holds or is unknown

// Runs one verification. Reports go to out, diagnostics to err; with showProgress a progress
// line is kept on err while a long check runs. Returns the exit status.
int runVerifier(const CommandLine& line, std::ostream& out, std::ostream& err, bool showProgress);

// The whole program: parses the arguments and runs the verifier.
int verifierMain(int argc, char** argv);
