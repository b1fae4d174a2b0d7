// The texts keyforge prints, and the way it reports a failure.
#pragma once

#include <string>

namespace virk::keyforge {

extern const char* const kMissingOptionsMessage;

// One line per option, each ending with a line feed.
std::string HelpText();

// Prints the message and then the cryptographic library's error queue to
// standard error, where the configurator looks for failures.
void ReportFailure(const std::string& message);

}  // namespace virk::keyforge
