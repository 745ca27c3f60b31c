// Test programs that need an X server run against a private Xvfb of their
// own, started before the first test and stopped after the last.
#include <gtest/gtest.h>

#include <cstdio>

#include "x_host.h"
#include "xvfb.h"

namespace {

class XvfbEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(server_.start()) << server_.error();
        halvorine::test::installGlobalErrorCounter();
    }
    void TearDown() override { server_.stop(); }

private:
    halvorine::test::Xvfb server_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);
    return RUN_ALL_TESTS();
}
