#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "tests/update_client/loopback.h"
#include "update_client/update_session.h"
#include "update_client/update_site.h"
#include "update_manager/ordwin_strings.h"

namespace {

using namespace std::chrono_literals;
using testing_support::LoopbackServer;
using testing_support::RecordingProgress;
using testing_support::RefusingPort;
using testing_support::ScopedConfigFolder;
using testing_support::StallingPort;
using testing_support::Step;

const std::string kObject = "/index3.php?ACTION=163";

const Step kFirst{IDS_STEP_COMMUNICATING, 20};
const Step kAfterReadReceiving{IDS_STEP_RECEIVING, 50};
const Step kAfterReadDownloading{IDS_STEP_DOWNLOADING, 80};

class Transfer : public ::testing::Test {
 protected:
  // Runs a whole transfer against url and returns the reply text.
  std::string Fetch(const std::string& url, TransferTimeouts timeouts = {}) {
    CUpdateSession session(&progress_, timeouts);
    std::string reply = FetchUpdateSite(session, url);
    outcome_ = session.LastOutcome();
    session.Close();
    return reply;
  }

  void ServeBody(const std::string& body, int status = 200) {
    server_.Routes().Get("/index3.php", [body, status](const httplib::Request& request,
                                                       httplib::Response& response) {
      ++requests_;
      last_request_ = request;
      response.status = status;
      response.set_content(body, "text/html");
    });
    server_.Start();
  }

  void ExpectFixedStepsAtTheEnds() {
    ASSERT_GE(progress_.steps.size(), 3u);
    EXPECT_EQ(progress_.steps.front(), kFirst);
    EXPECT_EQ(progress_.steps[progress_.steps.size() - 2], kAfterReadReceiving);
    EXPECT_EQ(progress_.steps.back(), kAfterReadDownloading);
  }

  ScopedConfigFolder config_;  // also keeps proxies away
  LoopbackServer server_;
  RecordingProgress progress_;
  TransferOutcome outcome_;
  static inline std::atomic<int> requests_{0};
  static inline httplib::Request last_request_;
};

TEST_F(Transfer, StepsFollowTheConnectionInOrder) {
  ServeBody("<!-- QEL version=\"2\" link=\"http://q\" -->");
  EXPECT_EQ(Fetch(server_.Url(kObject)), "<!-- QEL version=\"2\" link=\"http://q\" -->");
  const std::vector<Step> want = {
      {IDS_STEP_COMMUNICATING, 20}, {IDS_STEP_CONNECTING, 15},       {IDS_STEP_CONNECTED, 20},
      {IDS_STEP_REQUESTING, 25},    {IDS_STEP_REQUEST_RECEIVED, 30}, {IDS_STEP_RECEIVING, 35},
      {IDS_STEP_RECEIVED, 40},      {IDS_STEP_CLOSING, 45},          {IDS_STEP_CLOSED, 50},
      {IDS_STEP_RECEIVING, 50},     {IDS_STEP_DOWNLOADING, 80},
  };
  EXPECT_EQ(progress_.steps, want);
  EXPECT_EQ(outcome_.failure, TransferFailure::kNone);
  EXPECT_EQ(DescribeOutcome(outcome_), "");
}

TEST_F(Transfer, RequestIsTheOneGetWithBothHeaderLines) {
  ServeBody("ok");
  requests_ = 0;
  Fetch(server_.Url(kObject));
  EXPECT_EQ(requests_, 1);
  EXPECT_EQ(last_request_.method, "GET");
  EXPECT_EQ(last_request_.target, kObject);
  EXPECT_EQ(last_request_.get_header_value_count("Accept"), 1u);
  EXPECT_EQ(last_request_.get_header_value("Accept"), "text/*");
  EXPECT_EQ(last_request_.get_header_value_count("User-Agent"), 1u);
  EXPECT_EQ(last_request_.get_header_value("User-Agent"), "Velmora_Update_Program");
  EXPECT_EQ(last_request_.get_header_value("Cache-Control"), "no-cache");
  EXPECT_TRUE(last_request_.body.empty());
}

TEST_F(Transfer, BodyIsReadUpTo4095BytesAndEndsAtANul) {
  struct Case {
    const char* what;
    std::string body;
    std::string want;
  };
  const std::string a4095(4095, 'a');
  const Case cases[] = {
      {"exactly 4095 bytes", a4095, a4095},
      {"4096 bytes", a4095 + "b", a4095},
      {"a megabyte", std::string(1 << 20, 'c'), std::string(4095, 'c')},
      {"a NUL inside", std::string("<html>\0<!-- QEL -->", 19), "<html>"},
      {"empty body", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LoopbackServer server;
    server.Routes().Get("/index3.php", [&](const httplib::Request&, httplib::Response& response) {
      response.set_content(c.body, "text/html");
    });
    server.Start();
    EXPECT_EQ(Fetch(server.Url(kObject)), c.want);
    EXPECT_EQ(outcome_.failure, TransferFailure::kNone) << DescribeOutcome(outcome_);
  }
}

TEST_F(Transfer, ReadReplyAlwaysPutsANulAfterTheLastByte) {
  ServeBody(std::string(5000, 'z'));
  for (std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{100}, kReplyBufferSize}) {
    SCOPED_TRACE(size);
    std::vector<char> buffer(size + 1, 'x');
    CUpdateSession session;
    CHttpConnection* connection = session.GetHttpConnection("127.0.0.1", server_.Port());
    ASSERT_NE(connection, nullptr);
    std::size_t read = ReadReply(*connection, kObject, buffer.data(), size);
    EXPECT_EQ(read, size - 1);
    EXPECT_EQ(buffer[read], '\0');
    EXPECT_EQ(buffer[size], 'x') << "nothing written past the buffer";
  }
}

TEST_F(Transfer, TheRestOfALongBodyIsNeverRead) {
  constexpr std::size_t kChunk = 64 * 1024;
  constexpr std::size_t kTotal = 256u << 20;  // far more than socket buffers hold
  std::atomic<std::size_t> sent{0};
  server_.Routes().Get("/index3.php", [&](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/html", [&](std::size_t, httplib::DataSink& sink) {
      static const std::string chunk(kChunk, 'r');
      if (sent >= kTotal || !sink.write(chunk.data(), chunk.size())) {
        sink.done();
        return false;
      }
      sent += kChunk;
      return true;
    });
  });
  server_.Start();
  EXPECT_EQ(Fetch(server_.Url(kObject)), std::string(4095, 'r'));
  server_.Stop();
  EXPECT_LT(sent.load(), kTotal / 4) << "the client kept reading after the cut";
}

TEST_F(Transfer, ErrorStatusBodyIsTheReply) {
  ServeBody("<html><body>Not Found</body></html>", 404);
  EXPECT_EQ(Fetch(server_.Url(kObject)), "<html><body>Not Found</body></html>");
  EXPECT_EQ(outcome_.failure, TransferFailure::kNone);
  EXPECT_EQ(outcome_.http_status, 404);
  EXPECT_EQ(DescribeOutcome(outcome_), "HTTP status 404");
}

TEST_F(Transfer, RedirectIsNotFollowed) {
  std::atomic<int> target_hits{0};
  server_.Routes().Get("/index3.php", [](const httplib::Request&, httplib::Response& response) {
    response.status = 302;
    response.set_header("Location", "/moved");
    response.set_content("<!-- QEL version=\"from-302\" link=\"http://q\" -->", "text/html");
  });
  server_.Routes().Get("/moved", [&](const httplib::Request&, httplib::Response& response) {
    ++target_hits;
    response.set_content("<!-- QEL version=\"moved\" link=\"http://m\" -->", "text/html");
  });
  server_.Start();
  EXPECT_EQ(Fetch(server_.Url(kObject)), "<!-- QEL version=\"from-302\" link=\"http://q\" -->");
  EXPECT_EQ(target_hits, 0);
  EXPECT_EQ(outcome_.http_status, 302);
}

TEST_F(Transfer, RefusedConnectionGivesAnEmptyReplyAndTheFixedSteps) {
  RefusingPort port;
  EXPECT_EQ(Fetch("http://" + port.Host() + kObject), "");
  EXPECT_EQ(outcome_.failure, TransferFailure::kConnectionRefused);
  EXPECT_EQ(DescribeOutcome(outcome_), "connection refused");
  const std::vector<Step> want = {
      kFirst, {IDS_STEP_CONNECTING, 15}, kAfterReadReceiving, kAfterReadDownloading};
  EXPECT_EQ(progress_.steps, want) << "no connected or closed steps for a refused connect";
}

TEST_F(Transfer, StalledServerIsEndedByTheTimeOutWhileTheWindowIsPolled) {
  StallingPort port;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch("http://" + port.Host() + kObject, {1000ms, 600ms}), "");
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(outcome_.failure, TransferFailure::kTimedOut);
  EXPECT_EQ(DescribeOutcome(outcome_), "timed out");
  EXPECT_GE(took, 550ms);
  EXPECT_LT(took, 5s);
  ExpectFixedStepsAtTheEnds();

  // The window is polled all along, not only when data moves.
  ASSERT_GE(progress_.poll_times.size(), 5u);
  auto longest = progress_.poll_times.front() - start;
  for (std::size_t i = 1; i < progress_.poll_times.size(); ++i) {
    longest = std::max(longest, progress_.poll_times[i] - progress_.poll_times[i - 1]);
  }
  EXPECT_LT(longest, 400ms) << "polled only when data moves";
}

TEST_F(Transfer, ConnectThatGetsNoAnswerIsEndedByTheConnectTimeOut) {
  testing_support::NotAcceptingPort port;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch("http://" + port.Host() + kObject, {400ms, 20s}), "");
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(outcome_.failure, TransferFailure::kTimedOut);
  EXPECT_GE(took, 350ms);
  EXPECT_LT(took, 5s);
  const std::vector<Step> want = {
      kFirst, {IDS_STEP_CONNECTING, 15}, kAfterReadReceiving, kAfterReadDownloading};
  EXPECT_EQ(progress_.steps, want);
}

TEST_F(Transfer, CancelFromTheWindowEndsTheTransferLikeAFailure) {
  StallingPort port;
  int polls = 0;
  progress_.on_poll = [&] { return ++polls < 3; };
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Fetch("http://" + port.Host() + kObject, {20s, 20s}), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(polls, 3);
  EXPECT_EQ(outcome_.failure, TransferFailure::kCancelled);
  ExpectFixedStepsAtTheEnds();
}

TEST_F(Transfer, OnlyTheElevenStatusesMakeSteps) {
  struct Case {
    unsigned status;
    std::vector<Step> want;
  };
  const Case cases[] = {
      {10, {{IDS_STEP_FINDING, 5}}},
      {11, {{IDS_STEP_FOUND, 10}}},
      {51, {{IDS_STEP_CLOSED, 50}}},
      {100, {{IDS_STEP_COMPLETE, 55}}},
      {0, {}},
      {60, {}},
      {70, {}},
      {110, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    RecordingProgress progress;
    CUpdateSession session(&progress);
    session.OnStatusCallback(c.status);
    EXPECT_TRUE(progress.steps.empty()) << "notifications are off until the transfer enables them";
    session.EnableStatusCallback(true);
    session.OnStatusCallback(c.status);
    EXPECT_EQ(progress.steps, c.want);
  }
}

TEST_F(Transfer, WithoutAWindowTheTransferStillRuns) {
  ServeBody("<!-- WZ version=\"3\" link=\"http://w\" -->");
  CUpdateSession session(nullptr);
  EXPECT_EQ(FetchUpdateSite(session, server_.Url(kObject)),
            "<!-- WZ version=\"3\" link=\"http://w\" -->");
}

}  // namespace

namespace {

TEST_F(Transfer, ANameLookupMovesTheBarBackToFive) {
  ServeBody("<!-- WZ version=\"3\" link=\"http://w\" -->");
  EXPECT_EQ(Fetch("http://localhost:" + std::to_string(server_.Port()) + kObject),
            "<!-- WZ version=\"3\" link=\"http://w\" -->");
  ASSERT_GE(progress_.steps.size(), 4u);
  const std::vector<Step> start(progress_.steps.begin(), progress_.steps.begin() + 4);
  const std::vector<Step> want = {
      kFirst, {IDS_STEP_FINDING, 5}, {IDS_STEP_FOUND, 10}, {IDS_STEP_CONNECTING, 15}};
  EXPECT_EQ(start, want);
  ExpectFixedStepsAtTheEnds();
}

}  // namespace
