#pragma once

#include <utility>

namespace testing_support {

namespace detail {
template <auto Setter>
struct HookValue;
template <typename T, T (*Setter)(T)>
struct HookValue<Setter> {
    using type = T;
};
}  // namespace detail

// Sets a process-wide test hook for the scope and puts back the value it replaced when the scope
// ends, a failed assertion included. `Setter` is the hook's own `set...` function, which installs
// its argument and answers the value it replaced:
//
//     testing_support::ScopedHook<&MVVideoPlayer::setMaker> fakes(makeFake);
//
// Scopes end in the reverse order of their start, so nested ones put back each value in turn.
// The thread contract is the hook's own.
template <auto Setter>
class ScopedHook {
  public:
    using Value = typename detail::HookValue<Setter>::type;

    explicit ScopedHook(Value value) : previous_(Setter(std::move(value))) {}
    ~ScopedHook() { Setter(std::move(previous_)); }
    ScopedHook(const ScopedHook&) = delete;
    ScopedHook& operator=(const ScopedHook&) = delete;

  private:
    Value previous_;
};

}  // namespace testing_support
