// Shared set-up of the native end-to-end engine tests: options reset to the
// defaults, a download folder, and loop helpers.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine/event_loop.h"
#include "engine/file_table.h"
#include "settings/options.h"
#include "tests/engine/servers.h"
#include "tests/support/recorder.h"
#include "tests/support/temp_folder.h"
#include "text/text.h"

// Pieces of the fixture server's routes (tools/fixture_server.py).
inline std::string Head(const std::string& status, const std::string& lines = "") {
    return "HTTP/1.0 " + status + "\r\n" + lines + "\r\n";
}
inline std::string Ok(const std::string& body, const std::string& lines = "") {
    return Head("200 OK", "Content-Length: " + std::to_string(body.size()) + "\r\n" + lines) + body;
}
inline std::string Send(const std::string& text) { return "{\"send\": " + Json(text) + "}"; }
// The steps of one answer, as a route or a turn takes them.
inline std::string Answer(const std::string& steps) { return "[" + steps + "]"; }
// {"path": answer, ...} from each path and its answer.
inline std::string RoutesJson(const std::vector<std::pair<std::string, std::string>>& routes) {
    std::string json = "{";
    for (size_t i = 0; i < routes.size(); i++)
        json += (i ? ",\n" : "") + Json(routes[i].first) + ": " + routes[i].second;
    return json + "}";
}

// One fixture server for a whole test program, serving the program's routes
// from a temporary folder: AddFixtureSuite(Routes) at namespace scope, then
// Fixture in the tests.
inline FixtureServer* Fixture = nullptr;
class FixtureSuite : public ::testing::Environment {
public:
    explicit FixtureSuite(std::string (*routes)()) : routes_(routes) {}
    void SetUp() override {
        folder_ = std::make_unique<TempFolder>();
        server_ = std::make_unique<FixtureServer>();
        Fixture = server_.get();
        ASSERT_TRUE(server_->Start(folder_->path.string(), routes_()));
    }
    void TearDown() override {
        Fixture = nullptr;
        server_.reset();
        folder_.reset();
    }

private:
    std::string (*routes_)();
    std::unique_ptr<TempFolder> folder_;
    std::unique_ptr<FixtureServer> server_;
};
inline ::testing::Environment* AddFixtureSuite(std::string (*routes)()) {
    return ::testing::AddGlobalTestEnvironment(new FixtureSuite(routes));
}

// Moves the engine's clock forward (platform_posix.cpp).
void AdvanceTickCountForTests(uint32_t ms);

inline bool EngineIdle() {
    return Engine.ActiveJobs.empty() && Engine.DownloadQueue.empty() && Engine.HeadQueue.empty() &&
           Engine.AnalysisQueue.empty() && Engine.FetchSlot.empty() &&
           Engine.RetryWaits.empty();
}

class EngineTest : public ::testing::Test {
protected:
    TempFolder temp;
    std::string dl;

    void SetUp() override {
        OnStopAll();
        Engine.VisitedPages.clear();
        Engine.LogoFrame = 0;
        Engine.IndicatorFrame = 2;
        ListReset();
        memset(&Options, 0, sizeof Options);
        Options.Sockets = 3;
        Options.HostSockets = 10;  // every test server is one host
        Options.TimeOut = 1;
        Options.TimeOutSec = 10;
        Options.JPG = Options.GIF = Options.PNG = Options.HTM = 1;
        dl = temp.File("dl");
        std::filesystem::create_directories(dl);
        CopyText(Options.DLPath, sizeof Options.DLPath, dl.c_str());
        ClearReports();
    }
    void TearDown() override { OnStopAll(); }

    // Runs until every queue and job is done, then one more tick so that the
    // end messages of that tick are seen.
    static bool RunToIdle(uint32_t timeoutMs = 5000) {
        bool idle = RunEngineUntil(EngineIdle, timeoutMs);
        size_t ticks = Reports.engineFrames.size();
        RunEngineUntil([&] { return Reports.engineFrames.size() > ticks; }, 1000);
        return idle;
    }
    // As RunToIdle, moving the clock to each waiting retry's time instead
    // of waiting for it.
    static bool RunThroughRetries(uint32_t timeoutMs = 10000) {
        auto onlyWaits = [] {
            return EngineIdle() || (Engine.ActiveJobs.empty() && Engine.DownloadQueue.empty() &&
                                    Engine.HeadQueue.empty() && Engine.AnalysisQueue.empty() &&
                                    Engine.FetchSlot.empty());
        };
        for (int round = 0; round < 20; round++) {
            if (!RunEngineUntil(onlyWaits, timeoutMs)) return false;
            if (Engine.RetryWaits.empty()) return RunToIdle(timeoutMs);
            uint32_t now = TickCount();
            int32_t left = (int32_t)(Engine.RetryWaits.front().due - now);
            AdvanceTickCountForTests(left > 0 ? (uint32_t)left + 1 : 1);
            RunEngineFor(150);  // a tick starts it
        }
        return false;
    }
    std::string Saved(const std::string& name) const { return ReadWholeFile(dl + "/" + name); }
    bool Exists(const std::string& name) const { return std::filesystem::exists(dl + "/" + name); }
    // Every file under the temporary folder, relative to it.
    std::vector<std::string> AllFiles() const {
        std::vector<std::string> files;
        for (auto& e : std::filesystem::recursive_directory_iterator(temp.path))
            if (e.is_regular_file())
                files.push_back(std::filesystem::relative(e.path(), temp.path).string());
        std::sort(files.begin(), files.end());
        return files;
    }
    bool Logged(const std::string& line) const {
        return std::find(Reports.log.begin(), Reports.log.end(), line) != Reports.log.end();
    }
    int Row(const std::string& address) { return AddFoundFile(address.c_str(), -1, "", 0); }
};

// Shift_JIS texts as the engine logs them (this file is compiled to CP932).
#define SJ(text) std::string(text)
