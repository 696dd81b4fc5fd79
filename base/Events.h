#pragma once
// Events are std::function members named OnXxx with the sender first; an event that is
// empty is simply not called, so callers test it before raising.
#include <functional>

class TObject {
public:
    virtual ~TObject() = default;
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Raises an event only when one is assigned.
template <typename Event, typename... Args>
inline void Raise(const Event& event, Args&&... args) {
    if (event) event(std::forward<Args>(args)...);
}
