#include <gtest/gtest.h>

#include <string>

#include "app/open_request.h"

namespace zx840 {
namespace {

using Status = OpenRequest::Status;

Status StatusOf(std::string_view received) {
    return ReadOpenRequest(received).status;
}

TEST(OpenRequestMessage, OneLineWithAnAbsolutePathIsARequest) {
    const OpenRequest request = ReadOpenRequest("/home/op/tests/PSU 1 .ZX8\n");
    EXPECT_EQ(request.status, Status::Complete);
    // Spaces are part of the name: nothing is trimmed.
    EXPECT_EQ(request.path, "/home/op/tests/PSU 1 .ZX8");
    EXPECT_EQ(ReadOpenRequest("/a\r\n").path, "/a\r");

    // Waiting for the rest: nothing, or part of a path.
    EXPECT_EQ(StatusOf(""), Status::Incomplete);
    EXPECT_EQ(StatusOf("/home/op"), Status::Incomplete);
    EXPECT_EQ(StatusOf(std::string(kMaxOpenRequestPath, '/')), Status::Incomplete);
    EXPECT_EQ(StatusOf(std::string(kMaxOpenRequestPath, '/') + "\n"), Status::Complete);

    // Never a request, whatever follows.
    for (const std::string& refused :
         {std::string("\n"), std::string("relative.ZX8\n"), std::string("relative"),
          std::string(" /lead/space\n"), std::string("/a\0b\n", 5), std::string("/a\0", 3),
          std::string("/one\n/two\n"), std::string("/one\nx"),
          std::string(kMaxOpenRequestPath + 1, '/')}) {
        EXPECT_EQ(StatusOf(refused), Status::Refused) << refused;
        EXPECT_EQ(StatusOf(refused + "/more\n"), Status::Refused) << refused;
    }
}

TEST(OpenRequestMessage, WhatASecondStartSendsReadsBackAsTheSamePath) {
    for (const std::string& path :
         {std::string("/tmp/a.ZX8"), std::string("/srv/Zähler \"7\"/x.ZX8"),
          std::string("/") + std::string(kMaxOpenRequestPath - 1, 'x')}) {
        const std::string message = EncodeOpenRequest(path);
        ASSERT_FALSE(message.empty()) << path;
        EXPECT_EQ(ReadOpenRequest(message).path, path);
        // Arriving in pieces, it is complete only at the end.
        for (std::size_t cut = 0; cut < message.size(); cut += 7) {
            EXPECT_EQ(StatusOf(std::string_view(message).substr(0, cut)), Status::Incomplete);
        }
    }
    // Paths that cannot travel are not sent at all.
    EXPECT_EQ(EncodeOpenRequest("relative.ZX8"), "");
    EXPECT_EQ(EncodeOpenRequest("/with\nnewline"), "");
    EXPECT_EQ(EncodeOpenRequest(std::string("/nul\0", 5)), "");
    EXPECT_EQ(EncodeOpenRequest("/" + std::string(kMaxOpenRequestPath, 'x')), "");
}

}  // namespace
}  // namespace zx840
