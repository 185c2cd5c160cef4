#include "update_client/update_session.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "update_client/transfer_progress.h"
#include "update_client/update_site.h"
#include "update_manager/ordwin_strings.h"

// How libcurl's phases become the session's status notifications:
//
//   10 resolving name      CURLOPT_RESOLVER_START_FUNCTION: a name lookup starts
//                          (libcurl calls it for an address too, but then nothing
//                          is looked up, so the steps go from 20 straight on)
//   11 name resolved       the first connect attempt after a lookup
//   20 connecting          CURLOPT_SOCKOPTFUNCTION: a socket is about to connect
//                          (once per address tried)
//   21 connected           CURLOPT_PREREQFUNCTION: the connection is up, the
//   30 sending request       request goes out next
//   31 request sent        the first reply header line (the server answered)
//   40 receiving response    ... and its header block starts coming in
//   41 response received   the blank line that ends the header block
//   50 closing connection  CURLOPT_CLOSESOCKETFUNCTION on the connected socket
//   51 connection closed     (before and after the close itself)
//   100 request complete   never: it belongs to asynchronous operation, which
//                          this transfer does not use
//
// The connection is not kept for reuse (one request per check), so it closes
// as soon as the reply is in, before the two fixed steps after the read.
//
// The one request is driven through a multi handle rather than
// curl_easy_perform, which waits up to a second between callbacks while the
// line is quiet: this way the window is polled every kPollInterval, also while
// connecting or when the server stalls.

namespace {

constexpr std::chrono::milliseconds kPollInterval{20};

struct StatusStep {
  unsigned status;
  unsigned string_id;
  int percent;
};

constexpr StatusStep kStatusSteps[] = {
    {kStatusResolvingName, IDS_STEP_FINDING, 5},
    {kStatusNameResolved, IDS_STEP_FOUND, 10},
    {kStatusConnectingToServer, IDS_STEP_CONNECTING, 15},
    {kStatusConnectedToServer, IDS_STEP_CONNECTED, 20},
    {kStatusSendingRequest, IDS_STEP_REQUESTING, 25},
    {kStatusRequestSent, IDS_STEP_REQUEST_RECEIVED, 30},
    {kStatusReceivingResponse, IDS_STEP_RECEIVING, 35},
    {kStatusResponseReceived, IDS_STEP_RECEIVED, 40},
    {kStatusClosingConnection, IDS_STEP_CLOSING, 45},
    {kStatusConnectionClosed, IDS_STEP_CLOSED, 50},
    {kStatusRequestComplete, IDS_STEP_COMPLETE, 55},
};

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// What one request's callbacks need. It lives in the connection, so callbacks
// that libcurl makes while tearing the connection down still find it.
struct CHttpConnection::Impl {
  CURLM* multi = nullptr;

  CUpdateSession* session = nullptr;
  char* buffer = nullptr;
  std::size_t size = 0;
  std::size_t total = 0;
  bool full = false;           // more body came than the buffer holds
  bool numeric_host = false;   // the host is an address: no name to look up
  bool resolving = false;      // a name lookup was started, "found" not yet reported
  bool connected = false;      // the request's connection is up and not yet closed
  bool request_out = false;    // the request went out on a connection
  bool body_started = false;   // some of the reply body came in
  bool headers_started = false;
  char error[CURL_ERROR_SIZE] = {};

  void Status(unsigned status) { session->OnStatusCallback(status); }
};

namespace {

using Impl = CHttpConnection::Impl;

int OnResolverStart(void*, void*, void* data) {
  auto* state = static_cast<Impl*>(data);
  if (state->numeric_host) return 0;
  state->resolving = true;
  state->Status(kStatusResolvingName);
  return 0;
}

int OnSocketOptions(void* data, curl_socket_t, curlsocktype purpose) {
  auto* state = static_cast<Impl*>(data);
  if (purpose == CURLSOCKTYPE_IPCXN) {
    if (state->resolving) {
      state->resolving = false;
      state->Status(kStatusNameResolved);
    }
    state->Status(kStatusConnectingToServer);
  }
  return CURL_SOCKOPT_OK;
}

int OnConnected(void* data, char*, char*, int, int) {
  auto* state = static_cast<Impl*>(data);
  state->connected = true;
  state->request_out = true;
  state->Status(kStatusConnectedToServer);
  state->Status(kStatusSendingRequest);
  return CURL_PREREQFUNC_OK;
}

// Losing connect attempts are closed before the connection counts as made, so
// a close after that is the connection's own.
int OnCloseSocket(void* data, curl_socket_t socket) {
  auto* state = static_cast<Impl*>(data);
  if (!state->connected) return ::close(socket);
  state->connected = false;
  state->Status(kStatusClosingConnection);
  int result = ::close(socket);
  state->Status(kStatusConnectionClosed);
  return result;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* state = static_cast<Impl*>(user);
  const std::size_t length = size * count;
  if (!state->headers_started) {
    state->headers_started = true;
    state->Status(kStatusRequestSent);
    state->Status(kStatusReceivingResponse);
  }
  if (length > 0 && (data[0] == '\r' || data[0] == '\n')) {
    state->Status(kStatusResponseReceived);
    state->headers_started = false;   // a 1xx block may be followed by the real one
  }
  return length;
}

// Copies the body into the fixed buffer and stops the transfer as soon as more
// arrives than it holds, so the rest is never read.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* state = static_cast<Impl*>(user);
  const std::size_t length = size * count;
  state->body_started = true;
  const std::size_t room = state->size - 1 - state->total;
  const std::size_t take = std::min(length, room);
  std::memcpy(state->buffer + state->total, data, take);
  state->total += take;
  state->buffer[state->total] = '\0';
  if (take < length) {
    state->full = true;
    return CURL_WRITEFUNC_ERROR;
  }
  return length;
}

// The request's header lines: the update site's block, each line on its own,
// and no-cache requests so no cache on the way answers in the server's place.
curl_slist* RequestHeaders() {
  curl_slist* list = nullptr;
  std::string block = kUpdateSiteHeaders;
  std::size_t start = 0;
  while (start < block.size()) {
    std::size_t end = block.find("\r\n", start);
    if (end == std::string::npos) end = block.size();
    if (end > start) list = curl_slist_append(list, block.substr(start, end - start).c_str());
    start = end + 2;
  }
  list = curl_slist_append(list, "Cache-Control: no-cache");
  list = curl_slist_append(list, "Pragma: no-cache");
  return list;
}

TransferOutcome OutcomeOf(CURLcode result, CURL* easy, const Impl& state, bool cancelled) {
  TransferOutcome outcome;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &outcome.http_status);
  if (cancelled) {
    outcome.failure = TransferFailure::kCancelled;
    return outcome;
  }
  if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && state.full)) return outcome;
  long os_errno = 0;
  curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &os_errno);
  auto other = [&outcome](std::string detail) {
    outcome.failure = TransferFailure::kOther;
    outcome.detail = std::move(detail);
  };
  switch (result) {
    case CURLE_URL_MALFORMAT:
      outcome.failure = TransferFailure::kInvalidAddress;
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      outcome.failure = TransferFailure::kNameNotResolved;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      outcome.failure = TransferFailure::kTimedOut;
      break;
    case CURLE_COULDNT_CONNECT:
      if (os_errno == ECONNREFUSED) {
        outcome.failure = TransferFailure::kConnectionRefused;
      } else if (os_errno != 0) {
        other(std::string("cannot connect: ") + std::strerror(static_cast<int>(os_errno)));
      } else {
        other("cannot connect");
      }
      break;
    case CURLE_OUT_OF_MEMORY:
      // libcurl refuses a header line larger than it buffers with this code;
      // before any body came, that is what happened.
      if (state.request_out && !state.body_started) {
        outcome.failure = TransferFailure::kHeaderTooLarge;
      } else {
        other("out of memory");
      }
      break;
    case CURLE_GOT_NOTHING:
      other("the site closed the connection without a reply");
      break;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:
      other("the reply is not HTTP");
      break;
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_SEND_ERROR:
      other("the connection broke off");
      break;
    default:
      other(state.error[0] ? state.error : curl_easy_strerror(result));
      break;
  }
  return outcome;
}

bool IsNumericHost(std::string host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  unsigned char address[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, host.c_str(), address) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

struct UrlParts {
  std::string host;
  int port = 80;
  std::string object;
};

UrlParts SplitUrl(const std::string& url) {
  UrlParts parts;
  CURLU* handle = curl_url();
  if (!handle) return parts;
  if (curl_url_set(handle, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* text = nullptr;
    if (curl_url_get(handle, CURLUPART_HOST, &text, 0) == CURLUE_OK) parts.host = text;
    curl_free(text);
    text = nullptr;
    if (curl_url_get(handle, CURLUPART_PORT, &text, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      parts.port = std::atoi(text);
    }
    curl_free(text);
    text = nullptr;
    if (curl_url_get(handle, CURLUPART_PATH, &text, 0) == CURLUE_OK) parts.object = text;
    curl_free(text);
    text = nullptr;
    if (curl_url_get(handle, CURLUPART_QUERY, &text, 0) == CURLUE_OK) {
      parts.object += std::string("?") + text;
    }
    curl_free(text);
  }
  curl_url_cleanup(handle);
  return parts;
}

}  // namespace

std::string DescribeOutcome(const TransferOutcome& outcome) {
  switch (outcome.failure) {
    case TransferFailure::kNone:
      break;
    case TransferFailure::kInvalidAddress:
      return "not a valid address";
    case TransferFailure::kHeaderTooLarge:
      return "the reply's header is too large";
    case TransferFailure::kNameNotResolved:
      return "name resolution failed";
    case TransferFailure::kConnectionRefused:
      return "connection refused";
    case TransferFailure::kTimedOut:
      return "timed out";
    case TransferFailure::kCancelled:
      return "cancelled";
    case TransferFailure::kOther:
      return outcome.detail.empty() ? std::string("transfer failed") : outcome.detail;
  }
  if (outcome.http_status != 0 && (outcome.http_status < 200 || outcome.http_status > 299)) {
    return "HTTP status " + std::to_string(outcome.http_status);
  }
  return {};
}

bool ReachedSite(const TransferOutcome& outcome) {
  return outcome.failure == TransferFailure::kNone && outcome.http_status >= 200 &&
         outcome.http_status <= 299;
}

CUpdateSession::CUpdateSession(TransferProgress* progress, TransferTimeouts timeouts)
    : progress_(progress), timeouts_(timeouts) {
  InitCurlOnce();
}

CUpdateSession::~CUpdateSession() { Close(); }

void CUpdateSession::OnStatusCallback(unsigned status) {
  if (!notifications_) return;
  for (const StatusStep& step : kStatusSteps) {
    if (step.status == status) {
      SetStep(step.string_id, step.percent);
      return;
    }
  }
}

void CUpdateSession::SetStep(unsigned string_id, int percent) {
  if (progress_) progress_->SetStep(string_id, percent);
}

CHttpConnection* CUpdateSession::GetHttpConnection(const std::string& host, int port) {
  connection_ = std::make_unique<CHttpConnection>(*this, host, port);
  if (!connection_->IsOpen()) {
    connection_.reset();
    outcome_ = TransferOutcome{TransferFailure::kOther, 0, "the HTTP client could not be set up"};
  }
  return connection_.get();
}

void CUpdateSession::CloseConnection() { connection_.reset(); }

void CUpdateSession::Close() {
  CloseConnection();
  notifications_ = false;
}

CHttpConnection::CHttpConnection(CUpdateSession& session, std::string host, int port)
    : session_(session), host_(std::move(host)), port_(port), impl_(std::make_unique<Impl>()) {
  impl_->session = &session_;
  impl_->multi = curl_multi_init();
}

CHttpConnection::~CHttpConnection() {
  if (impl_->multi) curl_multi_cleanup(impl_->multi);
}

bool CHttpConnection::IsOpen() const { return impl_->multi != nullptr; }

std::size_t ReadReply(CHttpConnection& connection, const std::string& object, char* buffer,
                      std::size_t size) {
  CUpdateSession& session = connection.Session();
  Impl& state = connection.State();
  session.SetOutcome({});
  if (size == 0) return 0;
  buffer[0] = '\0';
  state.buffer = buffer;
  state.size = size;
  state.total = 0;
  state.full = false;
  state.numeric_host = IsNumericHost(connection.Host());
  state.resolving = false;
  state.connected = false;
  state.headers_started = false;
  state.request_out = false;
  state.body_started = false;
  state.error[0] = '\0';

  CURL* easy = curl_easy_init();
  if (!easy || !state.multi) {
    if (easy) curl_easy_cleanup(easy);
    session.SetOutcome({TransferFailure::kOther, 0, "the HTTP client could not be set up"});
    return 0;
  }
  const std::string url = "http://" + connection.Host() + ":" +
                          std::to_string(connection.Port()) + object;
  curl_slist* headers = RequestHeaders();
  const TransferTimeouts& timeouts = session.Timeouts();

  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, CUpdateSession::kAgentName);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, static_cast<long>(kReplyBufferSize));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connect.count()));
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeouts.whole.count()));
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, state.error);
  curl_easy_setopt(easy, CURLOPT_RESOLVER_START_FUNCTION, OnResolverStart);
  curl_easy_setopt(easy, CURLOPT_RESOLVER_START_DATA, &state);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, OnSocketOptions);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTDATA, &state);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, &state);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, OnCloseSocket);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, &state);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &state);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &state);

  CURLcode result = CURLE_FAILED_INIT;
  bool cancelled = false;
  if (curl_multi_add_handle(state.multi, easy) == CURLM_OK) {
    TransferProgress* progress = session.Progress();
    auto last_poll = std::chrono::steady_clock::now();
    for (;;) {
      int running = 0;
      if (curl_multi_perform(state.multi, &running) != CURLM_OK) break;
      int left = 0;
      bool done = false;
      while (CURLMsg* message = curl_multi_info_read(state.multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
          result = message->data.result;
          done = true;
        }
      }
      if (done || running == 0) break;

      auto since = std::chrono::steady_clock::now() - last_poll;
      auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(kPollInterval - since);
      curl_multi_poll(state.multi, nullptr, 0, static_cast<int>(std::max<long>(wait.count(), 0)),
                      nullptr);
      if (progress && std::chrono::steady_clock::now() - last_poll >= kPollInterval) {
        last_poll = std::chrono::steady_clock::now();
        if (!progress->Poll()) {
          cancelled = true;
          break;
        }
      }
    }
    session.SetOutcome(OutcomeOf(result, easy, state, cancelled));
    curl_multi_remove_handle(state.multi, easy);
  } else {
    session.SetOutcome({TransferFailure::kOther, 0, "the request could not be started"});
  }
  curl_easy_cleanup(easy);
  curl_slist_free_all(headers);
  state.buffer = nullptr;
  return state.total;
}

std::string FetchUpdateSite(CUpdateSession& session, const std::string& url) {
  session.SetStep(IDS_STEP_COMMUNICATING, 20);
  UrlParts parts = SplitUrl(url);
  session.EnableStatusCallback(true);
  std::string reply;
  if (parts.host.empty()) {
    session.SetOutcome({TransferFailure::kInvalidAddress, 0, {}});
  } else if (CHttpConnection* connection = session.GetHttpConnection(parts.host, parts.port)) {
    char buffer[kReplyBufferSize];
    if (ReadReply(*connection, parts.object, buffer, sizeof buffer) > 0) reply = buffer;
  }
  session.SetStep(IDS_STEP_RECEIVING, 50);
  session.SetStep(IDS_STEP_DOWNLOADING, 80);
  return reply;
}
