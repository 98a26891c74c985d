#include "rtl/generics.h"

namespace rtl::detail {

namespace {
constexpr const char* ArgumentOutOfRange = "Argument out of range";
constexpr const char* ItemNotFound = "Item not found";
constexpr const char* StackEmpty = "Stack is empty";
constexpr const char* QueueEmpty = "Queue is empty";
} // namespace

void RaiseArgumentOutOfRange() {
  throw EArgumentOutOfRangeException(ArgumentOutOfRange);
}
void RaiseDuplicates() {
  throw EListError(messages::DuplicateItem);
}
void RaiseItemNotFound() {
  throw EListError(ItemNotFound);
}
void RaiseStackEmpty() {
  throw EListError(StackEmpty);
}
void RaiseQueueEmpty() {
  throw EListError(QueueEmpty);
}

} // namespace rtl::detail
