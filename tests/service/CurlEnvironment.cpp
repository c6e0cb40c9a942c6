// Starts libcurl once for the whole test program, as main() does.
#include <gtest/gtest.h>

#include <memory>

#include "platform/curl/CurlHandles.h"

namespace {

class CurlEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        m_curl = std::make_unique<velmora::CurlGlobal>();
        ASSERT_TRUE(m_curl->ok());
    }
    void TearDown() override { m_curl.reset(); }

private:
    std::unique_ptr<velmora::CurlGlobal> m_curl;
};

[[maybe_unused]] ::testing::Environment* const kCurlEnvironment =
    ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

}  // namespace
