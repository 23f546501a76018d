// A failed exchange with the meter as zx840-cli names it: its exit status
// and the technical detail after the operator message (its code, F1 to F3,
// is the meter's: FailureCode).
#pragma once

#include <ostream>
#include <string>

#include "meter/acquisition.h"

namespace zx840 {

// The exit status of a failed exchange.
int FailureStatus(AcquireFailure failure);
// The technical side of a failure, after the operator message: the port
// (and its device) and what went wrong there.
std::string FailureDetail(const ExchangeResult& exchange, const std::string& port,
                          const std::string& device);
// Prints the operator message and the detail; returns the exit status.
int ReportFailure(std::ostream& err, const ExchangeResult& exchange, const std::string& port,
                  const std::string& device);

}  // namespace zx840
