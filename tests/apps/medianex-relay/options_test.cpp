// The command line and who may connect.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "network_address.h"
#include "options.h"

namespace strivex::relay {
namespace {

ParsedOptions Parse(std::vector<std::string_view> args) { return ParseOptions(args); }

TEST(RelayOptions, DefaultsListenOnLoopbackPort9081) {
  const ParsedOptions parsed = Parse({});
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(FormatIpv4(parsed.options.listen.address), "127.0.0.1");
  EXPECT_EQ(parsed.options.listen.port, 9081);
  EXPECT_TRUE(parsed.options.allowed.empty());
  EXPECT_EQ(parsed.options.maxClients, 32);
  EXPECT_EQ(parsed.options.maxPerAddress, 8);
}

TEST(RelayOptions, ReadsValuesSeparateOrAfterEquals) {
  const ParsedOptions parsed =
      Parse({"--listen=0.0.0.0:9100", "--allow", "10.0.0.0/8", "--allow=192.168.1.7", "--max-clients", "4"});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.options.listen.address, 0u);
  EXPECT_EQ(parsed.options.listen.port, 9100);
  ASSERT_EQ(parsed.options.allowed.size(), 2u);
  EXPECT_EQ(parsed.options.maxClients, 4);
}

TEST(RelayOptions, TimeOutsDriversAndLocalFiles) {
  const ParsedOptions defaults = Parse({});
  EXPECT_EQ(defaults.options.greetingTimeout, std::chrono::seconds(5));
  EXPECT_EQ(defaults.options.requestTimeout, std::chrono::seconds(60));
  EXPECT_EQ(defaults.options.drivers, std::vector<std::string>{"SQL Server"});
  EXPECT_EQ(defaults.options.localDbDir, "");
  EXPECT_EQ(defaults.options.maxResultMb, 32);
  const ParsedOptions parsed = Parse({"--greeting-timeout", "2", "--request-timeout=600", "--allow-driver",
                                      "PostgreSQL ANSI", "--allow-driver=FreeTDS", "--local-db-dir", "/srv/lab",
                                      "--allow-key", "Encryption", "--allow-key=Timeout", "--max-result-mb", "4096"});
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_EQ(parsed.options.greetingTimeout, std::chrono::seconds(2));
  EXPECT_EQ(parsed.options.requestTimeout, std::chrono::seconds(600));
  EXPECT_EQ(parsed.options.drivers, (std::vector<std::string>{"SQL Server", "PostgreSQL ANSI", "FreeTDS"}));
  EXPECT_EQ(parsed.options.localDbDir, "/srv/lab");
  EXPECT_EQ(parsed.options.keys, (std::vector<std::string>{"Encryption", "Timeout"}));
  EXPECT_EQ(parsed.options.maxResultMb, 4096);
  const std::string keysLine = AllowedKeysLine(parsed.options);
  EXPECT_NE(keysLine.find(" Driver "), std::string::npos) << keysLine;
  EXPECT_TRUE(keysLine.ends_with(" Encryption Timeout")) << keysLine;
}

TEST(RelayOptions, RejectsBadValuesNamingTheOption) {
  const std::vector<std::vector<std::string_view>> bad = {
      {"--listen", "localhost:9081"}, {"--listen", "127.0.0.1"},  {"--listen", "127.0.0.1:65536"},
      {"--allow", "10.0.0.0/33"},     {"--allow", "10.0.0/8"},    {"--max-clients", "0"},
      {"--max-clients", "2000"},      {"--max-clients"},          {"--bogus"},
      {"--greeting-timeout", "0"},    {"--request-timeout", "1.5"}, {"--allow-driver", "/tmp/x.so"},
      {"--allow-driver", "libx.so"},  {"--allow-driver", "{x}"},  {"--local-db-dir", "relative"},
      {"--max-per-address", "0"},
      {"--allow-key", "a=b"},         {"--allow-key", "x;DMEnvAttr"}, {"--allow-key", "{k}"},
      {"--allow-key", " Port"},       {"--allow-key", ""},        {"--max-result-mb", "0"},
      {"--max-result-mb", "4097"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(std::string(args[0]) + (args.size() > 1 ? " " + std::string(args[1]) : ""));
    const ParsedOptions parsed = Parse(args);
    EXPECT_FALSE(parsed.ok());
    EXPECT_NE(parsed.error.find(args[0]), std::string::npos) << parsed.error;
  }
}

struct PeerCase {
  const char* peer;
  std::vector<const char*> allowed;
  bool in;
};

TEST(RelayOptions, PeersOutsideTheAllowedRangesAreRefused) {
  const PeerCase cases[] = {
      {"127.0.0.1", {}, true},
      {"127.255.0.9", {}, true},
      {"10.1.2.3", {}, false},
      {"127.0.0.1", {"10.0.0.0/8"}, false},
      {"10.1.2.3", {"10.0.0.0/8"}, true},
      {"11.0.0.1", {"10.0.0.0/8"}, false},
      {"192.168.1.7", {"10.0.0.0/8", "192.168.1.7"}, true},
      {"192.168.1.8", {"192.168.1.7"}, false},
      {"8.8.8.8", {"0.0.0.0/0"}, true},
      {"10.9.9.9", {"10.1.2.3/8"}, true},  // host bits of the range are ignored
  };
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(c.peer);
    std::vector<AddressRange> ranges;
    for (const char* text : c.allowed) ranges.push_back(*ParseCidr(text));
    EXPECT_EQ(PeerAllowed(*ParseIpv4(c.peer), ranges), c.in);
  }
}

}  // namespace
}  // namespace strivex::relay
