#include "net/SocketErrorText.h"

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(SocketErrorText, KnownCodesGiveTheirExactText) {
    EXPECT_STREQ("WSA_INVALID_HANDLE - Specified event object handle is invalid.", SocketErrorText(6));
    EXPECT_STREQ("WSA_NOT_ENOUGH_MEMORY - Insufficient memory available.", SocketErrorText(8));
    EXPECT_STREQ("WSA_IO_PENDING - Overlapped operations will complete later. ", SocketErrorText(997));
    EXPECT_STREQ("WSAEINTR - Interrupted function call.", SocketErrorText(10004));
    EXPECT_STREQ("WSAEADDRINUSE - Address already in use.", SocketErrorText(10048));
    EXPECT_STREQ("WSAEHOSTUNREACH - No route to host.", SocketErrorText(10065));
    EXPECT_STREQ("WSAEREMOTE - Item is remote.", SocketErrorText(10071));
    EXPECT_STREQ("WSASYSNOTREADY - Network subsystem is unavailable.", SocketErrorText(10091));
    EXPECT_STREQ("WSAENOMORE - No more results.", SocketErrorText(10102));
    EXPECT_STREQ("WSA_E_NO_MORE - No more results.", SocketErrorText(10110));
    EXPECT_STREQ("WSAEREFUSED - Database query was refused.", SocketErrorText(10112));
    EXPECT_STREQ("WSAHOST_NOT_FOUND - Host not found.", SocketErrorText(11001));
    EXPECT_STREQ("WSANO_DATA - Valid name, no data record of requested type.", SocketErrorText(11004));
}

TEST(SocketErrorText, UnknownCodes) {
    for (int code : {0, -1, 1, 7, 10000, 10005, 10072, 10090, 10100, 10113, 11000, 11005, 0x7FFFFFFF}) {
        EXPECT_STREQ("[unknown]", SocketErrorText(code)) << code;
    }
}

TEST(SocketErrorText, TableHasSixtyEightCodesEachNamingItsOwnConstant) {
    // Every known text starts with a WSA name, and no two codes share one.
    std::set<std::string> names;
    int known = 0;
    for (int code = -10; code < 20000; ++code) {
        const std::string text = SocketErrorText(code);
        if (text == "[unknown]") continue;
        ++known;
        ASSERT_EQ(0u, text.rfind("WSA", 0)) << code;
        const size_t dash = text.find(" - ");
        ASSERT_NE(std::string::npos, dash) << code;
        EXPECT_TRUE(names.insert(text.substr(0, dash)).second) << text;
    }
    EXPECT_EQ(68, known);
}

TEST(SocketErrorFromErrno, SystemNumbersNameTheSameCondition) {
    EXPECT_EQ(0, SocketErrorFromErrno(0));
    EXPECT_EQ(10048, SocketErrorFromErrno(EADDRINUSE));
    EXPECT_EQ(10049, SocketErrorFromErrno(EADDRNOTAVAIL));
    EXPECT_EQ(10061, SocketErrorFromErrno(ECONNREFUSED));
    EXPECT_EQ(10054, SocketErrorFromErrno(ECONNRESET));
    EXPECT_EQ(10035, SocketErrorFromErrno(EWOULDBLOCK));
    EXPECT_EQ(10038, SocketErrorFromErrno(ENOTSOCK));
    EXPECT_EQ(10047, SocketErrorFromErrno(EAFNOSUPPORT));
    EXPECT_EQ(10045, SocketErrorFromErrno(ENOTSUP));
    EXPECT_EQ(10013, SocketErrorFromErrno(EPERM));
    EXPECT_EQ(10024, SocketErrorFromErrno(ENFILE));
    EXPECT_EQ(8, SocketErrorFromErrno(ENOMEM));
    // A join with no interface towards the group.
    EXPECT_EQ(10065, SocketErrorFromErrno(ENODEV));
    EXPECT_EQ(10058, SocketErrorFromErrno(EPIPE));
    // Numbers without a counterpart still read as a failure, never as "[unknown]".
    EXPECT_EQ(10107, SocketErrorFromErrno(EIO));
    EXPECT_STREQ("WSASYSCALLFAILURE - System call failure.", SocketErrorText(SocketErrorFromErrno(ENOEXEC)));
}

TEST(SocketErrorFromErrno, EverySystemNumberMapsToAKnownText) {
    for (int err = 1; err < 134; ++err) {
        EXPECT_STRNE("[unknown]", SocketErrorText(SocketErrorFromErrno(err))) << err << " " << std::strerror(err);
    }
}

TEST(LastSocketError, ReadsThisThreadsErrorNumber) {
    errno = ETIMEDOUT;
    EXPECT_EQ(10060, LastSocketError());
    errno = 0;
    EXPECT_EQ(0, LastSocketError());
}

}  // namespace
