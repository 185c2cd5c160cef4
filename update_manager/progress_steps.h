#pragma once

#include "update_client/transfer.h"

// A step of the connection progress dialog: the text to show (an Ordwin string
// id) and the bar's absolute position in percent. Positions are not
// increments, so the bar can move backwards.
struct ProgressStep {
  unsigned string_id;
  int percent;

  friend bool operator==(const ProgressStep&, const ProgressStep&) = default;
};

// The dialog's step for a phase of the update check's transfer.
ProgressStep ProgressStepOf(TransferPhase phase);
