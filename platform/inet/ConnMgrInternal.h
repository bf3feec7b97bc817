// Internals of the Connection Manager shared by its API file and its parts.
// Nothing outside platform/inet includes this header.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "connmgr.h"

namespace orvi::connmgr {

// One destination network: a host interface, or an entry of
// $ORVI_CONNMGR_DESTINATIONS when that is set.
struct Destination {
    std::string name;
    GUID guid{};
    bool up = false;
    // Scripted destinations carry their own proxy text (empty: none); host
    // interfaces take the host's proxy environment.
    bool scripted = false;
    std::string proxy;
};

// The destinations in enumeration order, read afresh from the host (or the
// environment) on every call.
std::vector<Destination> ListDestinations();

// Stable GUID for a destination name.
GUID GuidForName(const std::string& name);

// The status a connection to `guid` has right now (see connmgr.h).
DWORD EvaluateStatus(const GUID& guid);

// Fills the proxy record for a connection to `guid`; the caller has checked
// the record's size and set dwType.
void FillProxyConfig(const GUID& guid, PROXY_CONFIG& config);

// Parses "[scheme://][user[:password]@]host[:port][/...]" into the record's
// server, user name and password fields; empty text leaves them empty.
void ParseProxyText(const std::string& text, PROXY_CONFIG& config);

// Turns a comma-separated bypass list into the record's ';'-separated
// override text, dropping names that would not fit whole.
void FillProxyOverride(const std::string& noProxy, PROXY_CONFIG& config);

}  // namespace orvi::connmgr
