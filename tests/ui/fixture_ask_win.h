// Asks the test's fixture server (tools/fixture_server.py) one of its own
// questions from a Windows test program: /release/<name>, /stats...
#pragma once
#include <string>

// The whole reply to "GET <path>" on 127.0.0.1 at the port the environment
// variable names; empty when the server cannot be reached.
std::string AskFixture(const char* portVariable, const std::string& path);
// The largest number of connections the server held open at once since
// the last asking, -1 when it cannot be asked.
int FixtureMostOpen(const char* portVariable);
// Connections the server accepted since the last /stats, -1 when unknown.
int FixtureConnections(const char* portVariable);
// Lets every connection held under name go on; false when unreachable.
bool ReleaseHeld(const char* portVariable, const std::string& name);
