#pragma once
// Socket failures are reported with the desktop platform's socket error codes and
// texts, so that a failure reads the same wherever the feeds run. This platform's
// error numbers are translated to those codes first.

// The fixed text of a socket error code; "[unknown]" for a code it does not know.
const char* SocketErrorText(int code);

// The socket error code for one of this platform's error numbers (0 for 0). A number
// with no counterpart gives the code for a failed system call.
int SocketErrorFromErrno(int err);

// The socket error code of the last failed call on this thread; read it right after
// the failing call.
int LastSocketError();
