#include "update_client/update_session.h"

#include <optional>

#include "update_client/update_site.h"

namespace {

std::optional<TransferPhase> PhaseOfStatus(unsigned status) {
  switch (status) {
    case kStatusResolvingName: return TransferPhase::kResolvingName;
    case kStatusNameResolved: return TransferPhase::kNameResolved;
    case kStatusConnectingToServer: return TransferPhase::kConnecting;
    case kStatusConnectedToServer: return TransferPhase::kConnected;
    case kStatusSendingRequest: return TransferPhase::kSendingRequest;
    case kStatusRequestSent: return TransferPhase::kRequestSent;
    case kStatusReceivingResponse: return TransferPhase::kReceivingResponse;
    case kStatusResponseReceived: return TransferPhase::kResponseReceived;
    case kStatusClosingConnection: return TransferPhase::kClosingConnection;
    case kStatusConnectionClosed: return TransferPhase::kConnectionClosed;
    case kStatusRequestComplete: return TransferPhase::kRequestComplete;
    default: return std::nullopt;
  }
}

}  // namespace

std::string DescribeOutcome(const TransferOutcome& outcome) {
  switch (outcome.failure) {
    case TransferFailure::kNone: break;
    case TransferFailure::kInvalidAddress: return "not a valid address";
    case TransferFailure::kHeaderTooLarge: return "the reply's header is too large";
    case TransferFailure::kNameNotResolved: return "name resolution failed";
    case TransferFailure::kConnectionRefused: return "connection refused";
    case TransferFailure::kTimedOut: return "timed out";
    case TransferFailure::kCancelled: return "cancelled";
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

CUpdateSession::CUpdateSession(TransferObserver* observer, TransferTimeouts timeouts)
    : observer_(observer), timeouts_(timeouts) {}

CUpdateSession::~CUpdateSession() { Close(); }

void CUpdateSession::OnStatusCallback(unsigned status) {
  if (const std::optional<TransferPhase> phase = PhaseOfStatus(status)) OnPhase(*phase, 0);
}

void CUpdateSession::OnPhase(TransferPhase phase, std::size_t bytes) {
  if (notifications_) Report(phase, bytes);
}

bool CUpdateSession::CancelRequested() { return observer_ && observer_->CancelRequested(); }

void CUpdateSession::Report(TransferPhase phase, std::size_t bytes) {
  if (observer_) observer_->OnPhase(phase, bytes);
}

CHttpConnection* CUpdateSession::GetHttpConnection(const std::string& host, int port) {
  connection_ = std::make_unique<CHttpConnection>(*this, host, port);
  return connection_.get();
}

void CUpdateSession::CloseConnection() { connection_.reset(); }

void CUpdateSession::Close() {
  CloseConnection();
  notifications_ = false;
}

std::size_t ReadReply(CHttpConnection& connection, const std::string& object, char* buffer,
                      std::size_t size) {
  CUpdateSession& session = connection.Session();
  session.SetOutcome({});
  if (size == 0) return 0;
  const TransferRequest request{connection.Host(), connection.Port(), object, kUpdateSiteHeaders,
                                CUpdateSession::kAgentName};
  TransferResult result =
      RunTransfer(request, buffer, size, session.RequestObserver(), session.Timeouts());
  session.SetOutcome(std::move(result.outcome));
  return result.bytes;
}

std::string FetchUpdateSite(CUpdateSession& session, const std::string& url) {
  session.Report(TransferPhase::kStarting);
  const UrlParts parts = SplitUrl(url);
  session.EnableStatusCallback(true);
  std::string reply;
  std::size_t read = 0;
  if (parts.host.empty()) {
    session.SetOutcome({TransferFailure::kInvalidAddress, 0, {}});
  } else if (CHttpConnection* connection = session.GetHttpConnection(parts.host, parts.port)) {
    char buffer[kReplyBufferSize];
    read = ReadReply(*connection, parts.object, buffer, sizeof buffer);
    if (read > 0) reply = buffer;
  }
  session.Report(TransferPhase::kReplyRead, read);
  session.Report(TransferPhase::kFinished, read);
  return reply;
}
