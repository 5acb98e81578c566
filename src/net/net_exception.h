// Exception classes of the transfer subsystem's dispatcher.
#pragma once

#include <stdexcept>
#include <string>

namespace qelo::net {

// Misuse or internal failure of the dispatcher and its components.
class ENetException : public std::runtime_error {
 public:
  explicit ENetException(const std::string& msg) : std::runtime_error(msg) {}
};

// Failures of TNetTimer.
class ENetTimerException : public ENetException {
 public:
  explicit ENetTimerException(const std::string& msg) : ENetException(msg) {}
};

}  // namespace qelo::net
