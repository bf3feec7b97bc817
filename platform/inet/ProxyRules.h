// Which proxy a request goes through, from the session's access type.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "InetObjects.h"

namespace orvi::inet {

// The proxy ("host:port") for a request to `host`; "" for a direct
// connection; nullopt to follow the host's http_proxy / https_proxy /
// no_proxy convention (pre-configured access). Loopback hosts are always
// reached directly under pre-configured access.
std::optional<std::string> ProxyForHost(const ProxySettings& settings, std::string_view host,
                                        bool secure);

}  // namespace orvi::inet
