#pragma once
// A singly linked list that owns its nodes: appended at the tail, walked from the head, each node
// freed exactly once. Nodes carry their own `next` link (std::unique_ptr<T>). Chains are unlinked
// iteratively, so a report with millions of lines cannot overflow the stack when it is freed.

#include <cstddef>
#include <iterator>
#include <memory>
#include <utility>

namespace strivex {

// Frees a chain hanging from `next` one node at a time.
template <class T>
void FreeChain(std::unique_ptr<T>& next) noexcept {
  while (next) next = std::move(next->next);
}

// Not thread-safe: one thread at a time (a batch changes hands through ResultQueue).
template <class T>
class RecordList {
 public:
  RecordList() = default;
  RecordList(RecordList&& other) noexcept
      : head_(std::move(other.head_)), tail_(std::exchange(other.tail_, nullptr)) {}
  RecordList& operator=(RecordList&& other) noexcept {
    if (this != &other) {
      clear();
      head_ = std::move(other.head_);
      tail_ = std::exchange(other.tail_, nullptr);
    }
    return *this;
  }
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  ~RecordList() { clear(); }

  // Appends `node` (and anything already linked behind it) and returns the appended node.
  T& append(std::unique_ptr<T> node) {
    T* added = node.get();
    T* last = added;
    while (last->next) last = last->next.get();
    if (tail_ == nullptr) {
      head_ = std::move(node);
    } else {
      tail_->next = std::move(node);
    }
    tail_ = last;
    return *added;
  }

  // Appends a node made from `args` and returns it.
  template <class... Args>
  T& emplace_back(Args&&... args) {
    return append(std::make_unique<T>(std::forward<Args>(args)...));
  }

  // Detaches the first node; the rest stays in the list.
  std::unique_ptr<T> pop_front() noexcept {
    if (!head_) return nullptr;
    std::unique_ptr<T> first = std::move(head_);
    head_ = std::move(first->next);
    if (!head_) tail_ = nullptr;
    return first;
  }

  // Frees every node.
  void clear() noexcept {
    FreeChain(head_);
    tail_ = nullptr;
  }

  bool empty() const noexcept { return head_ == nullptr; }
  // Counts the nodes by walking them.
  size_t size() const noexcept {
    size_t n = 0;
    for (const T* p = head_.get(); p; p = p->next.get()) ++n;
    return n;
  }
  // The first and last node; null when empty.
  T* head() noexcept { return head_.get(); }
  const T* head() const noexcept { return head_.get(); }
  T* tail() noexcept { return tail_; }
  const T* tail() const noexcept { return tail_; }

  // Walks the nodes from the head; invalidated by removing the node it stands on.
  template <class Node>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::remove_const_t<Node>;
    using difference_type = std::ptrdiff_t;
    using pointer = Node*;
    using reference = Node&;

    Iterator() = default;
    explicit Iterator(Node* node) : node_(node) {}
    reference operator*() const { return *node_; }
    pointer operator->() const { return node_; }
    Iterator& operator++() {
      node_ = node_->next.get();
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++*this;
      return old;
    }
    friend bool operator==(const Iterator&, const Iterator&) = default;

   private:
    Node* node_ = nullptr;
  };

  Iterator<T> begin() noexcept { return Iterator<T>(head_.get()); }
  Iterator<T> end() noexcept { return {}; }
  Iterator<const T> begin() const noexcept { return Iterator<const T>(head_.get()); }
  Iterator<const T> end() const noexcept { return {}; }

 private:
  std::unique_ptr<T> head_;
  T* tail_ = nullptr;
};

}  // namespace strivex
