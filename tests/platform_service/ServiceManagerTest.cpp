#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "platform/service/ServiceManager.h"
#include "tests/platform/RegistryTestSupport.h"

namespace {

ServiceState StateOf(const std::string& name) {
    ServiceStatus status;
    EXPECT_TRUE(ServiceManager::Instance().Query(name, status)) << name;
    return status.state;
}

TEST(ServiceManager, NothingRunsUntilDeclared) {
    ScopedRegistryHome home;
    ServiceManager::Instance().Reload();
    ServiceStatus status;
    EXPECT_FALSE(ServiceManager::Instance().Query("SSDPSRV", status));
    EXPECT_FALSE(ServiceManager::Instance().ControlStop("SSDPSRV"));
}

TEST(ServiceManager, ReadsTheDeclarationsAndSkipsWhatDoesNotParse) {
    ScopedRegistryHome home;
    std::ofstream(home.File("services")) << "# system services\n"
                                            "upnphost running stop-ms 50 wait-hint-ms 400\n"
                                            "SSDPSRV  running refuse-stop   # held\n"
                                            "idle stopped\n"
                                            "broken sleeping\n"
                                            "odd running stop-ms -3\n"
                                            "unknown running colour blue\n";
    ServiceManager& manager = ServiceManager::Instance();
    manager.Reload();
    ServiceStatus status;
    ASSERT_TRUE(manager.Query("upnphost", status));
    EXPECT_EQ(status.state, ServiceState::Running);
    EXPECT_EQ(status.waitHintMs, 400u);
    EXPECT_EQ(StateOf("SSDPSRV"), ServiceState::Running);
    EXPECT_EQ(StateOf("idle"), ServiceState::Stopped);
    for (const char* skipped : {"broken", "odd", "unknown"}) EXPECT_FALSE(manager.Query(skipped, status)) << skipped;
    manager.Reload();
}

TEST(ServiceManager, AStopTakesItsTimeAndARefusalChangesNothing) {
    ScopedRegistryHome home;
    ServiceManager& manager = ServiceManager::Instance();
    manager.Reload();
    EXPECT_EQ(manager.ParseDeclarations("slow running stop-ms 150\nquick running\nstubborn running refuse-stop\n"), 3u);

    EXPECT_TRUE(manager.ControlStop("quick"));
    EXPECT_EQ(StateOf("quick"), ServiceState::Stopped);
    EXPECT_TRUE(manager.ControlStop("quick"));  // stopped already

    EXPECT_TRUE(manager.ControlStop("slow"));
    EXPECT_EQ(StateOf("slow"), ServiceState::StopPending);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(StateOf("slow"), ServiceState::Stopped);

    EXPECT_FALSE(manager.ControlStop("stubborn"));
    EXPECT_EQ(StateOf("stubborn"), ServiceState::Running);
    manager.Reload();
}

}  // namespace
