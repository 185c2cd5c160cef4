#include "update_manager/progress_steps.h"

#include <array>
#include <cstddef>

#include "update_manager/ordwin_strings.h"

namespace {

struct PhaseStep {
  TransferPhase phase;
  ProgressStep step;
};

constexpr std::array<PhaseStep, 14> kProgressSteps = {{
    {TransferPhase::kStarting, {IDS_STEP_COMMUNICATING, 20}},
    {TransferPhase::kResolvingName, {IDS_STEP_FINDING, 5}},
    {TransferPhase::kNameResolved, {IDS_STEP_FOUND, 10}},
    {TransferPhase::kConnecting, {IDS_STEP_CONNECTING, 15}},
    {TransferPhase::kConnected, {IDS_STEP_CONNECTED, 20}},
    {TransferPhase::kSendingRequest, {IDS_STEP_REQUESTING, 25}},
    {TransferPhase::kRequestSent, {IDS_STEP_REQUEST_RECEIVED, 30}},
    {TransferPhase::kReceivingResponse, {IDS_STEP_RECEIVING, 35}},
    {TransferPhase::kResponseReceived, {IDS_STEP_RECEIVED, 40}},
    {TransferPhase::kClosingConnection, {IDS_STEP_CLOSING, 45}},
    {TransferPhase::kConnectionClosed, {IDS_STEP_CLOSED, 50}},
    {TransferPhase::kRequestComplete, {IDS_STEP_COMPLETE, 55}},
    {TransferPhase::kReplyRead, {IDS_STEP_RECEIVING, 50}},
    {TransferPhase::kFinished, {IDS_STEP_DOWNLOADING, 80}},
}};

// One row per phase, in the enum's order, so a phase is its own index.
constexpr bool InPhaseOrder() {
  for (std::size_t i = 0; i < kProgressSteps.size(); ++i) {
    if (static_cast<std::size_t>(kProgressSteps[i].phase) != i) return false;
  }
  return static_cast<std::size_t>(TransferPhase::kFinished) + 1 == kProgressSteps.size();
}
static_assert(InPhaseOrder(), "one step for every transfer phase, in phase order");

}  // namespace

ProgressStep ProgressStepOf(TransferPhase phase) {
  return kProgressSteps[static_cast<std::size_t>(phase)].step;
}
