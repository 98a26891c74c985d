#pragma once
// The runtime layer's exception hierarchy. Every failure the framework reports is an Exception
// (or a descendant) whose Message() is the system's own text.

#include <exception>
#include <source_location>
#include <string>

namespace rtl {

class Exception : public std::exception {
public:
  explicit Exception(std::string AMessage) : FMessage(std::move(AMessage)) {}
  ~Exception() override = default;

  const std::string& Message() const noexcept { return FMessage; }
  void SetMessage(std::string AMessage) { FMessage = std::move(AMessage); }
  const char* what() const noexcept override { return FMessage.c_str(); }
  // The class name as the runtime reports it ("EArgumentException").
  virtual const char* ClassName() const noexcept { return "Exception"; }

private:
  std::string FMessage;
};

#define RTL_DECLARE_EXCEPTION(Name, Base)                                                                    \
  class Name : public Base {                                                                                 \
  public:                                                                                                    \
    using Base::Base;                                                                                        \
    const char* ClassName() const noexcept override { return #Name; }                                        \
  }

// Thrown to end an operation silently: callers that show errors skip it.
RTL_DECLARE_EXCEPTION(EAbort, Exception);
RTL_DECLARE_EXCEPTION(EArgumentException, Exception);
RTL_DECLARE_EXCEPTION(EArgumentOutOfRangeException, EArgumentException);
RTL_DECLARE_EXCEPTION(EArgumentNilException, EArgumentException);
RTL_DECLARE_EXCEPTION(EInvalidCast, Exception);
RTL_DECLARE_EXCEPTION(EConvertError, Exception);
RTL_DECLARE_EXCEPTION(EListError, Exception);
RTL_DECLARE_EXCEPTION(EInvalidOperation, Exception);
RTL_DECLARE_EXCEPTION(EAbstractError, Exception);
RTL_DECLARE_EXCEPTION(EOSError, Exception);
RTL_DECLARE_EXCEPTION(ENotSupportedException, Exception);
RTL_DECLARE_EXCEPTION(ENotImplemented, Exception);
RTL_DECLARE_EXCEPTION(ERangeError, Exception);
RTL_DECLARE_EXCEPTION(EAssertionFailed, Exception);
RTL_DECLARE_EXCEPTION(EComponentError, Exception);
RTL_DECLARE_EXCEPTION(EPropertyError, Exception);
RTL_DECLARE_EXCEPTION(EClassNotFound, Exception);
RTL_DECLARE_EXCEPTION(EStreamError, Exception);
// Failures of component streaming; plain stream read and write failures are filer errors too.
RTL_DECLARE_EXCEPTION(EFilerError, EStreamError);
RTL_DECLARE_EXCEPTION(EReadError, EFilerError);
RTL_DECLARE_EXCEPTION(EWriteError, EFilerError);
// A syntax error in a text form; the message starts with "line:column: ".
RTL_DECLARE_EXCEPTION(EParserError, Exception);
RTL_DECLARE_EXCEPTION(EResNotFound, Exception);
RTL_DECLARE_EXCEPTION(EFCreateError, EStreamError);
RTL_DECLARE_EXCEPTION(EFOpenError, EStreamError);
RTL_DECLARE_EXCEPTION(EThread, Exception);
// A method called by name with arguments it does not take.
RTL_DECLARE_EXCEPTION(EInvocationError, Exception);
// Floating-point faults. C++ does not trap, so code that must report them tests and raises.
RTL_DECLARE_EXCEPTION(EMathError, Exception);
RTL_DECLARE_EXCEPTION(EZeroDivide, EMathError);
RTL_DECLARE_EXCEPTION(EInvalidOp, EMathError);
RTL_DECLARE_EXCEPTION(EOverflow, EMathError);

// The runtime's standard message texts.
namespace messages {
inline constexpr const char* ListIndexError = "List index out of bounds (%d)";
inline constexpr const char* RangeError = "Range check error";
inline constexpr const char* InvalidCast = "Invalid class typecast";
inline constexpr const char* AbstractError = "Abstract Error";
inline constexpr const char* AssignError = "Cannot assign a %s to a %s";
inline constexpr const char* ReadError = "Stream read error";
inline constexpr const char* WriteError = "Stream write error";
inline constexpr const char* DuplicateName = "A component named %s already exists";
inline constexpr const char* InvalidName = "''%s'' is not a valid component name";
inline constexpr const char* UnknownProperty = "Property %s does not exist";
inline constexpr const char* ClassNotFound = "Class %s not found";
inline constexpr const char* DuplicateItem = "Duplicates not allowed";
inline constexpr const char* NoElements = "Sequence contains no elements";
inline constexpr const char* AssertionFailed = "Assertion fehlgeschlagen";
inline constexpr const char* ZeroDivide = "Floating point division by zero";
inline constexpr const char* InvalidOp = "Invalid floating point operation";
inline constexpr const char* Overflow = "Floating point overflow";
inline constexpr const char* ParameterCountMismatch = "Parameter count mismatch";
} // namespace messages

// Raises EAssertionFailed "Assertion fehlgeschlagen (<project-relative path>, Zeile <line>)" when
// ACondition is false. Unlike assert() the check stays in every build type.
void Assert(bool ACondition, const std::source_location& ALocation = std::source_location::current());
// The path of a source file relative to the project root, as assertion messages name it.
std::string ProjectRelativePath(const char* AFileName);

} // namespace rtl
