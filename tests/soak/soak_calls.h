// The soak's calls: every kind a desktop session sees, with the desktop
// disturbed at random points and a press racing the other side now and then.
// A second call may overlap the first: it rings while the first rings or is in
// progress, or the application tells of a call the phone never followed. The
// sequence of steps follows from the seed alone, but for which calls are left
// to end in the application after a race; the threads' timing does not.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "call_steps.h"

class SoakRandom {
  public:
    explicit SoakRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    unsigned Below(unsigned bound) { return static_cast<unsigned>(Next() % bound); }
    bool Percent(unsigned chance) { return Below(100) < chance; }

  private:
    std::uint64_t state_;
};

class SoakCalls {
  public:
    SoakCalls(std::uint64_t seed, CallPlayer& player, const simdesk::SimulatedPhone& phone)
        : random_(seed), player_(player), phone_(phone) {}

    // Plays one whole call and what happens around it. False on the first broken
    // invariant, described by failure().
    bool Call(unsigned index);
    // Unlocks, reconnects, plugs the phone back in and leaves the handset down.
    bool Restore();

    const std::string& failure() const { return failure_; }
    // How many of each kind of call, ending and disturbance were played.
    const std::map<std::string, std::uint64_t>& tally() const { return tally_; }

  private:
    bool Play(const Step& step);
    bool Race(PhoneAction press, PartyAction action, const std::string& id,
              const std::string& text = {});
    bool Incoming(const std::string& id);
    bool Outgoing(const std::string& id);
    bool InProgress(const std::string& id);
    bool Disturb();
    bool PutHandsetDown();
    bool Fiddle();
    bool Overlap(const std::string& id);
    bool SecondRings(const std::string& id);
    bool SecondTurn();
    bool EndLeftOver();
    void Follow();
    void Tally(const std::string& what) { ++tally_[what]; }

    SoakRandom random_;
    CallPlayer& player_;
    const simdesk::SimulatedPhone& phone_;
    std::string second_;          // the id of the call that may overlap this one
    bool overlapped_ = false;     // it came already
    std::set<std::string> live_;  // calls the application has going, from its notifications
    bool locked_ = false;
    bool detached_ = false;
    std::string failure_;
    std::map<std::string, std::uint64_t> tally_;
};
