#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "comms/NetworkPortName.h"

namespace {

std::string StackOf(const std::string& name) {
  const auto parsed = ParseNetworkPortName(name);
  const auto* port = std::get_if<NetworkPortName>(&parsed);
  return port != nullptr ? port->GensioStack() : "refused: " + std::get<std::string>(parsed);
}

}  // namespace

TEST(NetworkPortName, EachFormGivesItsStackAndEverythingElseIsRefusedWithItsReason) {
  EXPECT_EQ(StackOf("rfc2217://bench-1.lan:4001"), "telnet(rfc2217),tcp(nodelay),bench-1.lan,4001");
  EXPECT_EQ(StackOf("RFC2217://192.0.2.7:65535"), "telnet(rfc2217),tcp(nodelay),192.0.2.7,65535");
  EXPECT_EQ(StackOf("rfc2217://[fe80::1]:23"), "telnet(rfc2217),tcp(nodelay),ipv6,fe80::1,23");
  EXPECT_EQ(StackOf("rfc2217s://bench:4001"), "telnet(rfc2217),ssl,tcp(nodelay),bench,4001");
  EXPECT_EQ(StackOf("rfc2217s://bench:4001?ca=/etc/bench/ca.pem"),
            "telnet(rfc2217),ssl(CA=/etc/bench/ca.pem),tcp(nodelay),bench,4001");

  EXPECT_EQ(StackOf("telnet://bench:23"),
            "refused: unknown scheme \"telnet\"; use rfc2217://HOST:PORT or rfc2217s://HOST:PORT");
  EXPECT_EQ(StackOf("rfc2217://bench"), "refused: the TCP port is missing (HOST:PORT)");
  EXPECT_EQ(StackOf("rfc2217://:4001"), "refused: the host is missing (HOST:PORT)");
  EXPECT_EQ(StackOf("rfc2217://bench:0"), "refused: \"0\" is no TCP port (1 to 65535)");
  EXPECT_EQ(StackOf("rfc2217://bench:65536"), "refused: \"65536\" is no TCP port (1 to 65535)");
  EXPECT_EQ(StackOf("rfc2217://a,b:1"), "refused: \"a,b\" is no host name or address");
  EXPECT_EQ(StackOf("rfc2217://[::1:4001"), "refused: an IPv6 address is written [ADDRESS]:PORT");
  EXPECT_EQ(StackOf("rfc2217://bench:1?ca=x"), "refused: only rfc2217s://HOST:PORT takes ?ca=FILE");
  EXPECT_EQ(StackOf("rfc2217s://bench:1?ca=a,b"),
            "refused: the CA file \"a,b\" is empty or holds one of , ( ) \" '");
  EXPECT_EQ(StackOf("rfc2217://[127.0.0.1]:4001"),
            "refused: brackets are for IPv6 addresses; write 127.0.0.1:PORT without them");
  for (const char* query : {"?ca=a.pem&ca=b.pem", "?ca=a.pem&verify=0", "?verify=0"}) {
    EXPECT_TRUE(StackOf(std::string("rfc2217s://bench:1") + query).starts_with("refused: "))
        << query;
  }
}

TEST(NetworkPortName, OnlyANameWithASchemeIsOne) {
  EXPECT_TRUE(HasPortScheme("rfc2217://bench:1"));
  EXPECT_TRUE(HasPortScheme("ftp://bench:1"));
  EXPECT_FALSE(HasPortScheme("/dev/ttyUSB0"));
  EXPECT_FALSE(HasPortScheme("COM3"));
  EXPECT_FALSE(HasPortScheme("./odd://name"));
  EXPECT_FALSE(HasPortScheme("://bench:1"));
}
