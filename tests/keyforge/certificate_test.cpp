// The certificate and key as an independent reader (the openssl command
// line) sees them.
#include <regex>

#include "keyforge_fixture.h"

namespace virk::keyforge::test {
namespace {

using KeyforgeCertificate = KeyforgeTest;

// Position of every needle in `text`, in the order given; npos where absent.
bool InOrder(const std::string& text, const std::vector<std::string>& needles) {
  size_t position = 0;
  for (const std::string& needle : needles) {
    position = text.find(needle, position);
    if (position == std::string::npos) return false;
  }
  return true;
}

std::string Modulus(const std::vector<std::string>& command) {
  const std::string output = OpenSsl(command);
  EXPECT_EQ(output.rfind("Modulus=", 0), 0u) << output;
  return output;
}

TEST_F(KeyforgeCertificate, SelfSignedVersion3WithKeyThatMatchesAndFourPlainExtensions) {
  const ChildResult result = Run(CompleteArguments());
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const std::string text = CertificateText();
  EXPECT_NE(text.find("Version: 3 (0x2)"), std::string::npos);
  EXPECT_NE(text.find("Serial Number: 1 (0x1)"), std::string::npos);
  EXPECT_NE(text.find("Public-Key: (1024 bit)"), std::string::npos);
  EXPECT_NE(text.find("Exponent: 65537 (0x10001)"), std::string::npos);
  EXPECT_TRUE(InOrder(text, {"Basic Constraints: \n                CA:FALSE",
                             "Key Usage: \n                Digital Signature, Non Repudiation, "
                             "Key Encipherment, Data Encipherment, Certificate Sign",
                             "Subject Alternative Name: ",
                             "Extended Key Usage: \n                TLS Web Server Authentication, "
                             "TLS Web Client Authentication"}))
      << text;
  EXPECT_EQ(text.find("critical"), std::string::npos);
  EXPECT_EQ(CertificateQuery({"-noout", "-subject"}).substr(8),
            CertificateQuery({"-noout", "-issuer"}).substr(7));
  // Self-signed: the certificate verifies against itself.
  const std::string pem = Out() + "/certificate.pem";
  OpenSsl({"x509", "-inform", "DER", "-in", CertificatePath(), "-out", pem});
  EXPECT_NE(OpenSsl({"verify", "-partial_chain", "-CAfile", pem, pem}).find(": OK"),
            std::string::npos);

  OpenSsl({"rsa", "-inform", "DER", "-in", KeyPath(), "-check", "-noout"});
  EXPECT_EQ(Modulus({"rsa", "-inform", "DER", "-in", KeyPath(), "-noout", "-modulus"}),
            Modulus({"x509", "-inform", "DER", "-in", CertificatePath(), "-noout", "-modulus"}));
  // PKCS #1 RSAPrivateKey: version 0 then the modulus, no algorithm wrapper.
  const std::string structure = OpenSsl({"asn1parse", "-inform", "DER", "-in", KeyPath()});
  EXPECT_TRUE(std::regex_search(structure, std::regex("INTEGER +:00\n.*INTEGER +:[0-9A-F]{200,}")))
      << structure;
}

TEST_F(KeyforgeCertificate, NameEntriesInOrderWithBlanksForEmptyValuesAndBadCountriesLeftOut) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-C=RU", "-OU=Unit", "-ST=Region", "-L=City"},
       "CN=Name, O=Org, OU=Unit, ST=Region, L=City, C=RU"},
      {{"-C=", "-OU=", "-L=Moscow"}, "CN=Name, O=Org, OU=\\ , ST=\\ , L=Moscow, C=\\ \\ "},
      {{"-C=RUS"}, "CN=Name, O=Org, OU=\\ , ST=\\ , L=\\ "},
      {{"-CN=Имя", "-O=ООО Ромашка"}, "CN=Имя, O=ООО Ромашка, OU=\\ , ST=\\ , L=\\ , C=\\ \\ "},
  };
  for (const auto& [options, subject] : cases) {
    std::vector<std::string> arguments = CompleteArguments();
    arguments.insert(arguments.end(), options.begin(), options.end());
    const ChildResult result = Run(arguments);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(CertificateQuery({"-noout", "-subject", "-nameopt",
                                "esc_2253,utf8,sep_comma_plus_space"}),
              "subject=" + subject + "\n");
  }
}

TEST_F(KeyforgeCertificate, AlternativeNameListsDomainsThenAddressesThenTheApplicationUri) {
  ASSERT_EQ(Run(With("-IP=", "10.0.0.1")).exitCode, 0);
  EXPECT_EQ(AltNames(), "DNS:a.example, IP Address:10.0.0.1, URI:urn:virkopcua.server.application");

  std::vector<std::string> arguments = With("-DNS=", "a.example,b.example");
  arguments.insert(arguments.end(), {"-IP=10.0.0.1", "-URI=urn:x:y"});
  ASSERT_EQ(Run(arguments).exitCode, 0);
  EXPECT_EQ(AltNames(), "DNS:a.example, DNS:b.example, IP Address:10.0.0.1, URI:urn:x:y");

  // The configurator's text boxes give lines; a comma at a line's end adds nothing.
  arguments = With("-DNS=", "a.example,\nb.example");
  arguments.push_back("-IP=10.0.0.1\n10.0.0.2,");
  ASSERT_EQ(Run(arguments).exitCode, 0);
  EXPECT_EQ(AltNames(),
            "DNS:a.example, DNS:b.example, IP Address:10.0.0.1, IP Address:10.0.0.2, "
            "URI:urn:virkopcua.server.application");
}

TEST_F(KeyforgeCertificate, EmptyOrMalformedListEntryFailsAndLeavesNothingBehind) {
  for (const auto& [prefix, value] : std::vector<std::pair<std::string, std::string>>{
           {"-DNS=", "a.example,,b.example"}, {"-IP=", "10.0.0.300"}}) {
    const ChildResult result = Run(With(prefix, value));
    EXPECT_EQ(result.exitCode, 255) << value;
    EXPECT_NE(result.err.find("альтернативное имя"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(":error:"), std::string::npos) << result.err;
    EXPECT_TRUE(ResultsAbsent());
    EXPECT_TRUE(IntermediatesAbsent());
  }
}

TEST_F(KeyforgeCertificate, EachDigestNameSignsWithThatDigest) {
  for (const auto& [name, algorithm] : std::vector<std::pair<std::string, std::string>>{
           {"Sha1", "sha1WithRSAEncryption"},     {"Sha224", "sha224WithRSAEncryption"},
           {"Sha256", "sha256WithRSAEncryption"}, {"Sha384", "sha384WithRSAEncryption"},
           {"Sha512", "sha512WithRSAEncryption"}}) {
    ASSERT_EQ(Run(With("-alg=", name)).exitCode, 0) << name;
    const std::string text = CertificateText();
    // Once in the signed part, once beside the signature value.
    EXPECT_TRUE(InOrder(text, {"Signature Algorithm: " + algorithm,
                               "Signature Algorithm: " + algorithm}))
        << name;
  }
}

TEST_F(KeyforgeCertificate, KeyHasEveryLengthTheConfiguratorOffers) {
  for (const char* bits : {"1024", "2048", "3072", "4096"}) {
    ASSERT_EQ(Run(With("-size=", bits)).exitCode, 0) << bits;
    EXPECT_NE(CertificateText().find(std::string("Public-Key: (") + bits + " bit)"),
              std::string::npos);
    EXPECT_NE(OpenSsl({"rsa", "-inform", "DER", "-in", KeyPath(), "-noout", "-text"})
                  .find(std::string("Private-Key: (") + bits + " bit, 2 primes)"),
              std::string::npos);
  }
}

TEST_F(KeyforgeCertificate, ValidityIsExactlyTheGivenDaysEvenPastThe32BitSecondLimit) {
  for (const long long days : {1LL, 365LL, 7300LL, 24856LL, 36500LL}) {
    ASSERT_EQ(Run(With("-val=", std::to_string(days))).exitCode, 0) << days;
    EXPECT_EQ(ValiditySeconds(), days * 86400) << days;
  }
}

}  // namespace
}  // namespace virk::keyforge::test
