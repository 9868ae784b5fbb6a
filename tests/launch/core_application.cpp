// One QCoreApplication for the whole test program: the socket and the queue
// need an event loop, not a display.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

class CoreApplication : public ::testing::Environment {
public:
    void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[12] = "test_launch";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new CoreApplication);

}  // namespace
