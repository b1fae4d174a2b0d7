// Runs the built keyforge in a private temporary folder with HOME pointing
// into it, and reads what it wrote with the openssl command line.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"

namespace virk::keyforge::test {

class KeyforgeTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs keyforge with HOME set to Home() (and nothing else of the caller's
  // environment but PATH), plus `extraEnvironment`.
  ChildResult Run(const std::vector<std::string>& arguments,
                  const std::vector<std::string>& extraEnvironment = {});
  ChildResult RunWithEnvironment(const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& environment);

  // A complete, valid set of options writing into Out(); 1024-bit keys keep
  // the runs short.
  std::vector<std::string> CompleteArguments() const;
  // CompleteArguments() with the option of `prefix` replaced by
  // prefix + value, or added when absent.
  std::vector<std::string> With(const std::string& prefix, const std::string& value) const;
  std::vector<std::string> Without(const std::string& prefix) const;

  // `openssl x509 -inform DER -in server_cert.der` with `options`; fails the
  // test when openssl does.
  std::string CertificateQuery(const std::vector<std::string>& options) const;
  std::string CertificateText() const { return CertificateQuery({"-text", "-noout"}); }
  // The subject alternative name entries as openssl prints them.
  std::string AltNames() const;
  // notAfter minus notBefore, in seconds.
  long long ValiditySeconds() const;

  // Named as a Russian user's profile often is: the intermediates keyforge
  // writes there have paths only UTF-8 holds. (The results stay on an ASCII
  // path, which Windows' openssl can open.)
  std::string Home() const { return m_Root + "/Пользователь"; }
  std::string Out() const { return m_Root + "/out"; }
  std::string CertificatePath() const { return Out() + "/server_cert.der"; }
  std::string KeyPath() const { return Out() + "/server_key.pem"; }
  bool ResultsAbsent() const;
  bool IntermediatesAbsent() const;

 private:
  std::string m_Root;
};

// A UTF-8 path as std::filesystem takes it on every platform.
inline std::filesystem::path PathOf(const std::string& utf8) { return std::filesystem::u8path(utf8); }

// Runs the openssl command line; fails the test when it exits non-zero.
std::string OpenSsl(const std::vector<std::string>& arguments);

}  // namespace virk::keyforge::test
