#pragma once
// What tests and fuzz targets reach inside the application object: the
// shut-down bound, the tables' contents, and tables open without a running
// library (for inline receive roads that start no threads).
#include <array>
#include <chrono>
#include <cstddef>
#include <mutex>
#include <shared_mutex>

#include "core/app.h"
#include "radio/radio_model.h"

class CHalcyraAppTestAccess {
public:
    static std::chrono::milliseconds StopLimit() { return theApp.m_stopLimit.load(); }
    static void SetStopLimit(std::chrono::milliseconds limit) { theApp.m_stopLimit = limit; }

    // Radios, devices, interphones.
    static std::array<std::size_t, 3> TableSizes() {
        std::shared_lock<hcy::WriterPreferringLock> tables(theApp.m_tablesLock);
        return {theApp.m_arrRadios.size(), theApp.m_arrDevices.size(),
                theApp.m_arrInterphones.size()};
    }

    // Every radio in the table, read-locked as a dispatcher sees them.
    template <class F>
    static void ForEachRadio(F&& f) {
        std::shared_lock<hcy::WriterPreferringLock> tables(theApp.m_tablesLock);
        for (auto& radio : theApp.m_arrRadios) f(*radio);
    }

    // The tables take entries as after hcyInit; nothing is started.
    static void OpenTables() {
        std::unique_lock<hcy::WriterPreferringLock> tables(theApp.m_tablesLock);
        ++theApp.m_nSession;
        theApp.m_state = CHalcyraApp::State::Running;
    }
};
