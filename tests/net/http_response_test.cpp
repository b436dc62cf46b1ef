// Response reading on strings, most cases fed both whole and byte by byte.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "net/http_chunks.h"
#include "net/http_response.h"
#include "net/line_splitter.h"
#include "net/socket_errors.h"

namespace vantrel {
namespace {

TEST(HttpChunks, SizeIsTheHexadecimalTextBeforeABlankOrAnExtension) {
  EXPECT_EQ(ChunkSizeOf("1A ;name=value"), 26u);
  EXPECT_EQ(ChunkSizeOf("1a;name=value"), 26u);
  EXPECT_EQ(ChunkSizeOf("000000000000000000010"), 16u);
  // Anything else ends the body.
  EXPECT_EQ(ChunkSizeOf("-1"), 0u);
  EXPECT_EQ(ChunkSizeOf("x"), 0u);
  EXPECT_EQ(ChunkSizeOf("10000000000000000"), 0u);  // 65 bits
}

// Feeds `bytes` to a reader and returns how many it took.
std::size_t FeedAll(THttpResponseReader& reader, std::string_view bytes, bool byteByByte) {
  if (!byteByByte)
    return reader.Feed(bytes);
  std::size_t used = 0;
  while (used < bytes.size() && reader.Feed(bytes.substr(used, 1)) == 1)
    ++used;
  return used;
}

class HttpResponse : public testing::TestWithParam<bool> {
 protected:
  bool ByteByByte() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(Cut, HttpResponse, testing::Values(false, true),
                         [](const auto& param) { return param.param ? "ByteByByte" : "Whole"; });

TEST_P(HttpResponse, LengthBodyEndsAtItsLengthAndLeavesWhatFollows) {
  THttpResponseReader reader({});
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\n";
  EXPECT_EQ(FeedAll(reader, head + "\nbodyHTTP/1.1", ByteByByte()), head.size() + 5);
  ASSERT_TRUE(reader.Done());
  EXPECT_EQ(reader.Body(), "\nbody");  // a body may begin with a line end of its own
  EXPECT_EQ(reader.EndError(), 0);
  EXPECT_EQ(reader.ResultCode(), 200);
  EXPECT_EQ(reader.ResultString(), "OK");
  EXPECT_EQ(reader.ContentType(), "text/plain");
}

TEST_P(HttpResponse, ChunkedBodyJoinsItsChunksAndLeavesTheTrailersUnread) {
  THttpResponseReader reader({});
  const std::string response =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
      "4\r\nWiki\r\n5;a=b\r\npedia\r\n3 ;ext=1\r\n\r\n\n\r\n0;last\r\n";
  EXPECT_EQ(FeedAll(reader, response + "Trailer: x\r\n\r\n", ByteByByte()), response.size());
  ASSERT_TRUE(reader.Done());
  EXPECT_EQ(reader.Body(), "Wikipedia\r\n\n");  // chunk data is never taken for line ends
  EXPECT_EQ(reader.BodyMode(), THttpBodyMode::Chunked);
  EXPECT_EQ(reader.EndError(), 0);
}

TEST_P(HttpResponse, NoBodyIsReadForHeadAnd204And304WhateverTheLength) {
  for (const auto& [status, head] : {std::pair{"HTTP/1.0 200 OK", true},
                                     {"HTTP/1.0 204 No Content", false},
                                     {"HTTP/1.0 304 Not Modified", false}}) {
    THttpResponseReader reader({.Head = head});
    const std::string top = std::string(status) + "\r\nContent-Length: 4\r\n\r\n";
    EXPECT_EQ(FeedAll(reader, top + "body", ByteByByte()), top.size()) << status;
    EXPECT_TRUE(reader.Done()) << status;
    EXPECT_EQ(reader.Body(), "") << status;
  }
}

TEST_P(HttpResponse, InterimAnswerToExpectContinueIsDroppedBeforeTheFinalOne) {
  THttpResponseReader reader({.ExpectContinue = true});
  const std::string interim = "HTTP/1.1 100 Continue\r\nX-Note: go on\r\n\r\n";
  EXPECT_EQ(FeedAll(reader, interim + "HTTP/1.1 201", ByteByByte()), interim.size());
  ASSERT_TRUE(reader.ContinueReceived());
  reader.Resume();
  FeedAll(reader, "HTTP/1.1 201 Created\r\nContent-Length: 2\r\n\r\nok", ByteByByte());
  EXPECT_EQ(reader.ResultCode(), 201);
  EXPECT_EQ(reader.Headers().front(), "HTTP/1.1 201 Created");
  EXPECT_EQ(reader.Body(), "ok");
}

TEST(HttpResponseReader, LaterOfLengthAndChunkedDecidesTheBodyMode) {
  THttpResponseReader chunkedLast({});
  chunkedLast.Feed("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: Chunked\r\n\r\n");
  EXPECT_EQ(chunkedLast.BodyMode(), THttpBodyMode::Chunked);
  THttpResponseReader lengthLast({});
  lengthLast.Feed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n");
  EXPECT_EQ(lengthLast.BodyMode(), THttpBodyMode::ByLength);
}

TEST(HttpStatusLine, CodeAndReasonAreTheTrimmedWordsAfterTheFirstBlank) {
  for (const auto& [line, code, reason] : {std::tuple{"HTTP/1.1 404 Not Found", 404, "Not Found"},
                                           {"HTTP/1.0  200  OK", 200, "OK"},
                                           {"HTTP/1.0 200 OK ", 200, "OK"},
                                           {"HTTP/1.0 200", 200, ""},
                                           {"HTTP/1.1 2xx Fine", 0, "Fine"},
                                           {"HTTP/1.1", 0, ""}}) {
    EXPECT_EQ(HttpStatusCodeOf(line), code) << line;
    EXPECT_EQ(HttpReasonOf(line), reason) << line;
  }
}

TEST(HttpResponseReader, HeaderCutShortByALimitIsNoAnswer) {
  const std::string status = "HTTP/1.0 200 OK\r\n";
  std::string manyLines;
  for (std::size_t i = 0; i < kMaxHttpHeaderLines; ++i)
    manyLines += "X: y\r\n";
  const std::string bigLine = "X: " + std::string(kMaxLineLength / 2, 'y') + "\r\n";
  std::string manyBytes;
  while (manyBytes.size() <= kMaxHttpHeaderLength)
    manyBytes += bigLine;
  const std::string endlessLine = "X: " + std::string(kMaxLineLength, 'y');
  for (const std::string& head : {manyLines, manyBytes, endlessLine}) {
    THttpResponseReader reader({});
    reader.Feed(status + head + "\r\n\r\nbody");
    EXPECT_TRUE(reader.Done()) << head.size();
    EXPECT_EQ(reader.EndError(), kSockMessageTooLong) << head.size();
    EXPECT_EQ(reader.ResultCode(), 0) << head.size();
    EXPECT_EQ(reader.ResultString(), "") << head.size();
    EXPECT_LE(reader.Headers().size(), kMaxHttpHeaderLines);
  }
}

}  // namespace
}  // namespace vantrel
