// Sets (or, for nullptr, removes) an environment variable for the object's
// life and restores the previous state. Main test thread only.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace orvi::test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* previous = std::getenv(name))
            m_previous = previous;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { m_previous ? setenv(m_name.c_str(), m_previous->c_str(), 1) : unsetenv(m_name.c_str()); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

}  // namespace orvi::test
