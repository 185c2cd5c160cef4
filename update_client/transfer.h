#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// One HTTP GET of the update check, as the platform's HTTP client carries it
// (libcurl on Linux, transfer_curl.cpp). The transfer reports its phases as
// values and knows no texts, no bar positions and no windows: the program maps
// the phases to what it shows.

// The phases of a transfer, in the order they come. A client that cannot tell
// some of them apart reports fewer; each may come more than once (a connect
// per address tried).
enum class TransferPhase {
  kStarting,           // before the address is split
  kResolvingName,      // looking up the host name
  kNameResolved,       // host name found
  kConnecting,         // connecting to the server
  kConnected,          // connected
  kSendingRequest,     // the request goes out
  kRequestSent,        // the server answered
  kReceivingResponse,  // the reply's header block comes in
  kResponseReceived,   // the header block is complete
  kClosingConnection,  // the connection is about to be closed
  kConnectionClosed,   // the connection is closed
  kRequestComplete,    // an asynchronous request is complete (not reported by libcurl)
  kReplyRead,          // the reply has been read (also when nothing could be)
  kFinished,           // the transfer is over; the reply goes to its user next
};

// Told about a transfer while it runs, on the caller's thread, from inside its
// blocking wait, so a window stays current without returning to its event loop.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;

  // A phase; bytes is the number of reply body bytes read so far.
  virtual void OnPhase(TransferPhase phase, std::size_t bytes) = 0;

  // Asked at least every 50 ms while the transfer runs, also while it waits
  // to connect or for a silent server (a window handles its input here). True
  // stops the transfer, which then ends like a failed one.
  virtual bool CancelRequested() = 0;
};

// Time-outs of one transfer; a check must never hang the program.
struct TransferTimeouts {
  std::chrono::milliseconds connect{10000};  // name lookup and connect
  std::chrono::milliseconds whole{30000};    // the whole request, start to end
};

enum class TransferFailure {
  kNone,
  kInvalidAddress,  // the URL names no host that can be asked
  kNameNotResolved,
  kConnectionRefused,
  kTimedOut,
  kCancelled,
  kHeaderTooLarge,  // the reply's header block is larger than the client takes
  kOther,
};

// How a request went. A failure is not an error of the update check (it goes
// on with what was read), but a command line tool tells the administrator why
// nothing came.
struct TransferOutcome {
  TransferFailure failure = TransferFailure::kNone;
  long http_status = 0;  // the reply's status code; 0 when none came
  std::string detail;    // what went wrong, for kOther
};

// One line saying why the reply is empty or not the page asked for ("connection
// refused", "HTTP status 404"); empty when the request went through with a 2xx.
std::string DescribeOutcome(const TransferOutcome& outcome);

// Whether a reply came back whole enough to use, with a 2xx status: no failure
// on the way (a body cut at the reply limit is not one).
bool ReachedSite(const TransferOutcome& outcome);

// The parts of an http URL a request is made from; the port is 80 when the URL
// names none. An empty host when the URL cannot be split.
struct UrlParts {
  std::string host;
  int port = 80;
  std::string object;  // path and query
};
UrlParts SplitUrl(const std::string& url);

// One GET: object (path and query) from host and port, with the header block's
// lines (each ended by "\r\n") and agent as the fallback User-Agent. No
// redirect is followed, no cache answers, the connection is not kept.
struct TransferRequest {
  std::string host;
  int port = 80;
  std::string object;
  std::string headers;
  std::string agent;
};

struct TransferResult {
  TransferOutcome outcome;
  std::size_t bytes = 0;  // body bytes in the buffer
};

// Runs one request and reads the body into buffer: at most size - 1 bytes,
// always followed by a NUL (size must be at least 1); the rest of a longer
// body is never read. The phases go to observer (when given), which is also
// asked whether to cancel. A failure (also a time-out or a cancel) ends the
// request at once, keeping what was read before it.
TransferResult RunTransfer(const TransferRequest& request, char* buffer, std::size_t size,
                           TransferObserver* observer, const TransferTimeouts& timeouts);
