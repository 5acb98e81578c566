// Socket error numbers of the transfer subsystem (10004...11004), their texts, the mapping of
// the platform's errno and resolver codes onto them, and the exception of the socket layer.
#pragma once

#include <string>

#include "net/net_exception.h"

namespace qelo::net {

// The numbers carried by ErrCode arguments, LastError and the HTTP client's ErrCode.
enum TSocketErrorCode : int {
  kSockOk = 0,
  kSockInterrupted = 10004,
  kSockBadFile = 10009,
  kSockAccessDenied = 10013,
  kSockBadAddress = 10014,
  kSockInvalidArgument = 10022,
  kSockTooManyFiles = 10024,
  kSockWouldBlock = 10035,
  kSockInProgress = 10036,
  kSockAlreadyInProgress = 10037,
  kSockNotSocket = 10038,
  kSockDestAddrRequired = 10039,
  kSockMessageTooLong = 10040,
  kSockWrongProtocolType = 10041,
  kSockProtocolNotAvailable = 10042,
  kSockProtocolNotSupported = 10043,
  kSockTypeNotSupported = 10044,
  kSockOpNotSupported = 10045,
  kSockProtoFamilyNotSupported = 10046,
  kSockAddrFamilyNotSupported = 10047,
  kSockAddressInUse = 10048,
  kSockAddressNotAvailable = 10049,
  kSockNetworkDown = 10050,
  kSockNetworkUnreachable = 10051,
  kSockNetworkReset = 10052,
  kSockConnectionAborted = 10053,
  kSockConnectionReset = 10054,
  kSockNoBufferSpace = 10055,
  kSockAlreadyConnected = 10056,
  kSockNotConnected = 10057,
  kSockShutdown = 10058,
  kSockTooManyRefs = 10059,
  kSockTimedOut = 10060,
  kSockConnectionRefused = 10061,
  kSockLoop = 10062,
  kSockNameTooLong = 10063,
  kSockHostDown = 10064,
  kSockHostUnreachable = 10065,
  kSockNotEmpty = 10066,
  kSockTooManyProcesses = 10067,
  kSockTooManyUsers = 10068,
  kSockQuota = 10069,
  kSockStale = 10070,
  kSockRemote = 10071,
  kSockSysNotReady = 10091,
  kSockVersionNotSupported = 10092,
  kSockNotInitialised = 10093,
  kSockHostNotFound = 11001,
  kSockTryAgain = 11002,
  kSockNoRecovery = 11003,
  kSockNoData = 11004,
};

// "No Error" for 0, the text of a listed number, "Not a WinSock error" otherwise.
std::string SocketErrorDesc(int ErrCode);
// The text followed by " (#" ErrCode ")"; the form used inside composed messages.
std::string SocketErrorDescWithCode(int ErrCode);

// errno of a socket call onto the numbering above (0 stays 0; an errno without a counterpart
// becomes 10022).
int SocketErrorFromErrno(int Errno);
// Status of a c-ares lookup onto the numbering above (ARES_SUCCESS gives 0).
int SocketErrorFromAres(int AresStatus);

// Raised by the socket layer when a reported error has no OnError handler to go to.
class ESocketException : public ENetException {
 public:
  explicit ESocketException(const std::string& Msg, int ErrorCode = 0)
      : ENetException(Msg), errorCode_(ErrorCode) {}
  // The socket error number behind the message, 0 for misuse errors without one.
  int ErrorCode() const { return errorCode_; }

 private:
  int errorCode_;
};

}  // namespace qelo::net
