#pragma once
// Small helpers shared by the socket's native and Wine tests.
#include <functional>
#include <string>

#include "http/WSocket.h"

// The message of the ESocketException that Call throws, or "(no exception)".
inline std::string SocketErrorOf(const std::function<void()>& Call) {
    try {
        Call();
    } catch (const ESocketException& e) {
        return e.what();
    }
    return "(no exception)";
}
