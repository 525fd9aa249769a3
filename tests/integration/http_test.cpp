// The file service through the real HTTP listener.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/text_codec.hpp"
#include "integration/server_fixture.hpp"

namespace velmira::testing {
namespace {

// "web:secret", the fixture's HTTP credentials.
constexpr const char* credentials = "Authorization: Basic d2ViOnNlY3JldA==\r\n";

std::string get(const std::string& target, const char* extra = credentials) {
  return "GET " + target + " HTTP/1.1\r\nHost: school\r\n" + extra + "\r\n";
}

TEST(FileService, ServesTheAnnouncementsFileWithExactHeaders) {
  running_server s("", {}, [](const temp_dir& d) { d.write("news/data.ini", from_utf8("Привет\v\r\n")); });
  line_client c(s.http_port());
  c.send(get("/news/data.ini"));
  std::string expected =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1251\r\nCache-Control: no-cache\r\n"
      "Content-Length: 9\r\n\r\n" + from_utf8("Привет\v\r\n");
  EXPECT_EQ(c.read_bytes(expected.size()), expected);
}

TEST(FileService, KeepAliveAndHeadOnOneConnection) {
  running_server s("", {}, [](const temp_dir& d) { d.write("news/data.ini", "abc\r\n"); });
  line_client c(s.http_port());
  c.send("HEAD /news/data.ini HTTP/1.1\r\nHost: school\r\n" + std::string(credentials) + "\r\n" +
         get("/news/data.ini"));
  std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=windows-1251\r\nCache-Control: no-cache\r\n"
      "Content-Length: 5\r\n\r\n";
  EXPECT_EQ(c.read_bytes(head.size() * 2 + 5), head + head + "abc\r\n");
}

TEST(FileService, WrongCredentialsGetTheDefaultPageWithoutCacheControl) {
  running_server s;
  line_client c(s.http_port());
  c.send(get("/news/data.ini", "Authorization: Basic d2ViOndyb25n\r\n"));
  std::string expected =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: 39\r\n\r\n"
      "<HTML><BODY><B>200 OK</B></BODY></HTML>";
  EXPECT_EQ(c.read_bytes(expected.size()), expected);
}

TEST(FileService, PathOutOfTheDataDirectoryGetsTheDefaultPage) {
  running_server s;
  line_client c(s.http_port());
  c.send(get("/news/%2e%2e/setting.ini"));
  std::string expected =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-cache\r\n"
      "Content-Length: 39\r\n\r\n<HTML><BODY><B>200 OK</B></BODY></HTML>";
  EXPECT_EQ(c.read_bytes(expected.size()), expected);
}

}  // namespace
}  // namespace velmira::testing
