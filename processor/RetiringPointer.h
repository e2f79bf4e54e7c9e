#pragma once

#include <atomic>
#include <memory>

namespace kalto
{

// An owned object that one thread replaces while others read it, with no
// reader ever seeing it freed and no thread ever waiting.
//
// Readers on any thread hold a Reader for the length of one use. replace()
// frees the old object at once when no reader is active; otherwise it retires
// it, and the last reader to leave frees what was retired. The owner's own
// thread, which never runs at the same time as replace(), may use
// getUnguarded() without a Reader.
template <typename T>
class RetiringPointer
{
public:
    explicit RetiringPointer (std::unique_ptr<T> initial) : current (initial.release()) {}

    ~RetiringPointer()
    {
        delete current.load();
        freeAll (retired.exchange (nullptr));
    }

    class Reader
    {
    public:
        explicit Reader (RetiringPointer& p) : owner (p)
        {
            owner.readers.fetch_add (1);
            object = owner.current.load();
        }
        ~Reader()
        {
            if (owner.readers.fetch_sub (1) == 1)
                owner.collect();
        }
        T* get() const { return object; }
        T* operator->() const { return object; }
        T& operator*() const { return *object; }

        Reader (const Reader&) = delete;
        Reader& operator= (const Reader&) = delete;

    private:
        RetiringPointer& owner;
        T* object;
    };

    Reader read() { return Reader (*this); }

    T* getUnguarded() const { return current.load (std::memory_order_relaxed); }

    void replace (std::unique_ptr<T> next)
    {
        auto* old = current.exchange (next.release());
        if (old == nullptr)
            return;
        // A reader that took the old object entered before the exchange; if
        // none is in now, none can still hold it.
        if (readers.load() == 0)
        {
            delete old;
        }
        else
        {
            push (new Node { old, nullptr });
            collect();
        }
    }

    RetiringPointer (const RetiringPointer&) = delete;
    RetiringPointer& operator= (const RetiringPointer&) = delete;

private:
    struct Node
    {
        T* object;
        Node* next;
    };

    void push (Node* first)
    {
        auto* last = first;
        while (last->next != nullptr)
            last = last->next;
        last->next = retired.load();
        while (! retired.compare_exchange_weak (last->next, first))
        {
        }
    }

    // Everything retired so far was out of reach before it was taken here, so
    // if no reader is in after taking it, it is free of readers.
    void collect()
    {
        auto* list = retired.exchange (nullptr);
        if (list == nullptr)
            return;
        if (readers.load() == 0)
            freeAll (list);
        else
            push (list);
    }

    static void freeAll (Node* list)
    {
        while (list != nullptr)
        {
            auto* next = list->next;
            delete list->object;
            delete list;
            list = next;
        }
    }

    std::atomic<T*> current;
    std::atomic<int> readers { 0 };
    std::atomic<Node*> retired { nullptr };
};

} // namespace kalto
