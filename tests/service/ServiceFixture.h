// What the service tests share: libcurl started once per test program, and a
// fixture with a capture server, a working directory holding Velmora/, a fixed
// clock, a recording monitor and the run-wide state pointing at the server.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "CaptureServer.h"
#include "core/RunState.h"
#include "platform/FileStore.h"
#include "platform/curl/CurlTransport.h"
#include "service/ServiceClient.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

namespace velmora::test {

// Short enough that a test ending in a time-out stays quick.
inline CurlTransport::Options quickTimeouts(std::chrono::milliseconds total) {
    CurlTransport::Options options;
    options.connectTimeout = std::chrono::milliseconds(2000);
    options.totalTimeout = total;
    return options;
}

class ServiceFixture : public ::testing::Test {
protected:
    ServiceFixture() : files(dir.path()), http(quickTimeouts(std::chrono::milliseconds(5000))) {
        files.createDirectory("Velmora");
        state.UserId = "123456";
        state.Password = "segreta";
        state.LoginUrl = server.url("/istat/login");
        state.LogoutUrl = server.url("/istat/logout");
        state.ArrivalsUrl = server.url("/istat/arrivi");
        state.DeparturesUrl = server.url("/istat/partenze");
        state.CloseDayUrl = server.url("/istat/chiusura");
        state.LoginToken = "tok-1";
    }

    // Content of a file below the working directory ("Velmora/Login-...xml").
    std::string fileText(const std::string& name) const {
        return files.readText(name).value_or("<missing>");
    }
    bool fileExists(const std::string& name) const { return files.exists(name); }
    // The only request the server received; fails the test otherwise.
    std::string onlyRequest() const {
        auto all = server.requests();
        EXPECT_EQ(all.size(), 1u);
        return all.empty() ? std::string() : all.front();
    }

    CaptureServer server;
    TempDir dir;
    LocalFileStore files;
    FixedClock clock{{2026, 3, 5, 14, 7, 9}};
    RecordingMonitor monitor;
    RunState state;
    CurlTransport http;
    ServiceContext ctx{state, http, monitor, files, clock};
};

}  // namespace velmora::test
