// Shared set-up of the page analysis suites: clean engine state and table,
// options zeroed, and readers for what the analysis handed to the engine.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/file_table.h"
#include "engine/jobs.h"
#include "settings/options.h"
#include "tests/support/recorder.h"
#include "text/text.h"

using Requests = std::vector<std::pair<std::string, int>>;  // address, row

class AnalysisTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetEngine();
        Options = OptionsRecord{};
        Options.JPG = 1;
    }
    void TearDown() override {
        ResetEngine();
        Options = OptionsRecord{};
    }
    static void ResetEngine() {
        OnStopAll();
        Engine.VisitedPages.clear();
        Engine.TopPageAddress[0] = '\0';
        ListReset();
        ClearReports();
    }
    // What the engine does before it scans the top page: the new analysis,
    // then the page's job started and still active while it is scanned.
    static void StartTopPage(const char* address) {
        OnAnalysePage(address, -1);
        Engine.AnalysisQueue.pop_front();
        Job* job = AddActiveJob(MakeRequest(KindAnalyse, -1, 1, address));
        CopyText(job->address, sizeof job->address, address);
        ClearReports();
    }
    static std::vector<std::string> Listed() {
        std::vector<std::string> out;
        for (int row = 0; row < ListCount(); row++) out.push_back(ListText(row, ColAddress));
        return out;
    }
    static Requests Queued(const std::deque<JobRequest>& queue) {
        Requests out;
        for (const JobRequest& request : queue) out.push_back({request.address, ListRowOfFile(request.foundFile)});
        return out;
    }
};
