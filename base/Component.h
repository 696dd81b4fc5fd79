#pragma once
// Owned components: an owner frees the components it owns when it is freed, and a
// component that asked for free notification of another hears when that one goes, so it
// can drop its pointer instead of keeping a dangling one.
#include <string>
#include <vector>

#include "base/Events.h"

enum TOperation { opInsert, opRemove };

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* AOwner = nullptr);
    ~TComponent() override;

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int Index) const { return FComponents.at(Index); }

    // Asks to be told (through Notification) when AComponent is destroyed.
    void FreeNotification(TComponent* AComponent);
    void RemoveFreeNotification(TComponent* AComponent);

    // True while the destructor runs, so that notifications can ignore a dying object.
    bool Destroying() const { return FDestroying; }

    std::string Name;
    int Tag = 0;

protected:
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    // Subclass destructors call this first, so that notifications and owned components are
    // handled while the subclass part of the object is still alive.
    void BeginDestroy();

private:
    void InsertComponent(TComponent* AComponent);
    void RemoveComponent(TComponent* AComponent);

    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    bool FDestroying = false;
};
