// Test configurations written the way the configurator writes them: records
// from the generator, options and users sections from the options writer's
// helpers, scrambled by the model's writer. `handOptions` are lines added to
// the options section by hand, as for the keys the configurator does not write.
#pragma once

#include <string>
#include <vector>

#include "common/options.h"
#include "common/text.h"
#include "generator.h"

namespace virk::server::test {

inline bool WriteTestConfig(const std::string& path, const StartOptions& options, const std::vector<Login>& logins,
                            std::string& error, const std::string& handOptions = {},
                            const GeneratorOptions& records = {}) {
  std::u16string text = Utf8ToUtf16(GenerateConfiguration(records));
  text = WithStartOptions(text, options) + Utf8ToUtf16(handOptions);
  if (!logins.empty()) text = WithLogins(text, logins);
  return WriteConfigText(path, text, true, error);
}

}  // namespace virk::server::test
