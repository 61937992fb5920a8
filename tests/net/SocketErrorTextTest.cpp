#include "net/SocketErrorText.h"

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

namespace {

TEST(SocketErrorText, ExactTextsAndTheUnknownCode) {
    EXPECT_STREQ("WSA_INVALID_HANDLE - Specified event object handle is invalid.", SocketErrorText(6));
    EXPECT_STREQ("WSA_IO_PENDING - Overlapped operations will complete later. ", SocketErrorText(997));
    EXPECT_STREQ("WSAEINTR - Interrupted function call.", SocketErrorText(10004));
    EXPECT_STREQ("WSAEHOSTUNREACH - No route to host.", SocketErrorText(10065));
    EXPECT_STREQ("WSA_E_NO_MORE - No more results.", SocketErrorText(10110));
    EXPECT_STREQ("WSANO_DATA - Valid name, no data record of requested type.", SocketErrorText(11004));
    for (int code : {0, -1, 7, 10000, 10005, 10072, 10090, 10113, 11000, 11005, 0x7FFFFFFF}) {
        EXPECT_STREQ("[unknown]", SocketErrorText(code)) << code;
    }
}

TEST(SocketErrorFromErrno, SystemNumbersNameTheSameCondition) {
    EXPECT_EQ(0, SocketErrorFromErrno(0));
    EXPECT_EQ(10048, SocketErrorFromErrno(EADDRINUSE));
    EXPECT_EQ(10049, SocketErrorFromErrno(EADDRNOTAVAIL));
    EXPECT_EQ(10035, SocketErrorFromErrno(EWOULDBLOCK));
    EXPECT_EQ(10045, SocketErrorFromErrno(ENOTSUP));
    EXPECT_EQ(10013, SocketErrorFromErrno(EPERM));
    EXPECT_EQ(8, SocketErrorFromErrno(ENOMEM));
    EXPECT_EQ(10065, SocketErrorFromErrno(ENODEV));  // a join with no interface towards the group
    EXPECT_EQ(10058, SocketErrorFromErrno(EPIPE));
    // Numbers without a counterpart still read as a failure, never as "[unknown]".
    EXPECT_STREQ("WSASYSCALLFAILURE - System call failure.", SocketErrorText(SocketErrorFromErrno(ENOEXEC)));
    for (int err = 1; err < 134; ++err) {
        EXPECT_STRNE("[unknown]", SocketErrorText(SocketErrorFromErrno(err))) << err << " " << std::strerror(err);
    }
    errno = ETIMEDOUT;
    EXPECT_EQ(10060, LastSocketError());
}

}  // namespace
