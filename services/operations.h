// Each service contract is described once, as a list of its operations:
//
//   #define QBX_<CONTRACT>_OPS(X) X(Result, Name, (parameters), (argument names))
//
// The contract's pure virtual members are generated from it (QBX_DECLARE_OP),
// and so are the recording double (tests/doubles), the tracing decorator
// (cli/trace.cpp) and the do-nothing services (bench/null_services.cpp). To
// add an operation, add its line to the list: every implementation then
// fails to build until it has an answer, and the double and the trace follow
// by themselves. Comments inside a list are /* */ (a // comment would swallow
// the line continuation).
#pragma once

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <utility>

// The pure virtual member of an operation.
#define QBX_DECLARE_OP(Result, Name, Params, Names) virtual Result Name Params = 0;
// One for each operation: QBX_X_OPS(QBX_COUNT_OP) is the number of operations.
#define QBX_COUNT_OP(Result, Name, Params, Names) +1
// ", a, b" from "(a, b)", nothing from "()": appends the arguments to a call.
#define QBX_MORE_ARGS(...) __VA_OPT__(, ) __VA_ARGS__

namespace qbx::ops {

// An operation's name as a type, so implementations can answer some
// operations specially by overloading on Op<"Name"> and leave the rest to a
// generic overload.
template <size_t N>
struct Name {
  constexpr Name(const char (&text)[N]) { std::copy_n(text, N, chars); }
  char chars[N];
};
template <Name N>
struct Op {
  static constexpr const char* name() { return N.chars; }
};

// Turns an answer into the operation's result: a void operation drops it, an
// answer that knows how to become any result (AsResult<R>) becomes this one, any
// other answer converts.
template <class R, class A>
R Reply(A&& answer) {
  if constexpr (std::is_void_v<R>) {
    return;
  } else if constexpr (requires { answer.template AsResult<R>(); }) {
    return answer.template AsResult<R>();
  } else {
    return R(std::forward<A>(answer));
  }
}

}  // namespace qbx::ops
