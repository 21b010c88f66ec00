// Records what the core reports to the user interface, so tests see exactly
// what the main window would be told.
#pragma once
#include <string>
#include <vector>

struct RecordedReports {
    std::vector<std::string> log;
    std::vector<size_t> logShown; // the log's length at each ShowResultsNow
    std::vector<std::string> captions;
    std::vector<std::string> history;
    std::vector<std::pair<int, int>> commandStates;
    std::vector<int> progressPositions;
    int viewDeleteAll = 0;
    std::vector<int> viewRedraws;
    std::vector<int> viewDeletes;
    std::vector<int> viewPublished;
    std::vector<std::string> viewerBuffers;  // what ViewerHandOver received
    std::vector<std::pair<int, int>> engineFrames;  // logo and indicator per tick
};

extern RecordedReports Reports;
// Empties the record and installs the recorders as the core's reports
// (they are installed from the start of every test program as well).
void ClearReports();
