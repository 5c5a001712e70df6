#pragma once

#include "component/error.h"

namespace nv407::host {

// Raised when a statement gave up waiting for a lock that another session held; the
// description is the database's own.
class LockWaitExpired : public Error {
 public:
  using Error::Error;
};

}  // namespace nv407::host
