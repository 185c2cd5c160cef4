#include "update_manager/check_progress.h"

#include <optional>
#include <string>

#include "update_client/progress.h"
#include "update_manager/ordwin_strings.h"
#include "update_manager/progress_steps.h"

void CheckProgress::SetStep(unsigned string_id, int percent) {
  std::optional<std::string> text;
  if (HasOrdwinString(string_id)) text = OrdwinString(string_id);
  dialog_.ShowStep(text, percent);
}

void CheckProgress::OnPhase(TransferPhase phase, std::size_t) {
  const ProgressStep step = ProgressStepOf(phase);
  SetStep(step.string_id, step.percent);
}

bool CheckProgress::CancelRequested() { return !dialog_.Poll(); }
