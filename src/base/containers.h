// Growable array and ordered map/set (AVL tree) that never throw: allocation
// failures are reported through results and leave the container valid.
//
// Glossary of the type names:
//   Vect1p_Vobj<T>       growable array of objects T (1p: one pointer to the block)
//   Map_Kobj2Vobj<K, V>  ordered map from key objects K to value objects V
//   Set_Kobj<K>          ordered set of key objects K
//   ...Set               a set of goals or names (GoalKindSet, NameSet)
//   StrVect, StrSet, StrMap, StrNumMap  the usual ones over CxStr1p (end of file)
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "base/str.h"

long long calcGrowVectTp(long long current, long long needed, long long elemSize);

inline int anyCmp(long long a, long long b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}
inline int anyCmp(int a, int b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// A view (cap 0, data set) holds count elements in memory that someone else
// keeps and that no other array uses, such as a TextStore block: its elements
// may change in place; growing moves them to a block of its own.
template <typename T> class Vect1p_Vobj {
  public:
    long long cap = 0;
    long long count = 0;
    T* data = nullptr;

    Vect1p_Vobj() = default;
    Vect1p_Vobj(Vect1p_Vobj const& o) { copyFrom(o); }
    Vect1p_Vobj& operator=(Vect1p_Vobj const& o) {
        if (this != &o) copyFrom(o);
        return *this;
    }
    Vect1p_Vobj(Vect1p_Vobj&& o) noexcept { swap(o); }
    Vect1p_Vobj& operator=(Vect1p_Vobj&& o) noexcept {
        if (this != &o) {
            destroy();
            swap(o);
        }
        return *this;
    }
    ~Vect1p_Vobj() { destroy(); }

    void swap(Vect1p_Vobj& o) noexcept {
        std::swap(cap, o.cap);
        std::swap(count, o.count);
        std::swap(data, o.data);
    }

    long long size() const { return count; }
    bool isEmpty() const { return count < 1; }

    bool reserve(long long n) {
        if (n <= cap) return true;
        if (n < count) n = count; // a view
        long long want = calcGrowVectTp(cap, n, (long long)sizeof(T));
        if (want < n) return false;
        T* p = (T*)malloc((size_t)want * sizeof(T));
        if (!p) return false;
        // Elements move by a bitwise copy of their fields; the old block is then
        // released without running destructors.
        if (count > 0) memcpy((void*)p, (void const*)data, (size_t)count * sizeof(T));
        if (cap > 0) free((void*)data);
        data = p;
        cap = want;
        return true;
    }

    bool addVal(T const& x) {
        if (count >= cap) {
            T tmp(x); // x may live inside this array
            if (!reserve(count + 1)) return false;
            new (&data[count]) T(std::move(tmp));
        } else {
            new (&data[count]) T(x);
        }
        ++count;
        return true;
    }

    T& at(long long i) {
        if (i >= 0 && i < count) return data[i];
        return freshSpare();
    }
    T const& at(long long i) const {
        if (i >= 0 && i < count) return data[i];
        return freshSpare();
    }
    T& operator[](long long i) { return at(i); }
    T const& operator[](long long i) const { return at(i); }
    T& lastVal() { return at(count - 1); }

    // Removes n elements from pos on; the tail moves left.
    bool delSpan(long long pos, long long n) {
        if (pos < 0 || pos >= count || n < 1) return false;
        if (n > count - pos) n = count - pos;
        for (long long i = pos; i < pos + n; ++i)
            data[i].~T();
        if (count - pos - n > 0)
            memmove((void*)(data + pos), (void const*)(data + pos + n),
                    (size_t)(count - pos - n) * sizeof(T));
        count -= n;
        return true;
    }
    bool delAt(long long pos) { return delSpan(pos, 1); }
    bool delLast() { return delSpan(count - 1, 1); }

    void clear() {
        for (long long i = 0; i < count; ++i)
            data[i].~T();
        count = 0;
    }
    void destroy() {
        clear();
        if (cap > 0) free((void*)data);
        data = nullptr;
        cap = 0;
    }
    bool copyFrom(Vect1p_Vobj const& o) {
        clear();
        if (!reserve(o.count)) return false;
        for (long long i = 0; i < o.count; ++i)
            new (&data[i]) T(o.data[i]);
        count = o.count;
        return true;
    }

    T* begin() { return data; }
    T* end() { return data + count; }
    T const* begin() const { return data; }
    T const* end() const { return data + count; }

  private:
    // The element handed out for an index out of range. One per thread, not
    // one per array: a goal table holds millions of small arrays.
    static T& freshSpare() {
        static thread_local T spare{};
        spare = T();
        return spare;
    }
};

// Tree nodes shared by maps (with a value) and sets (with an empty value).
template <typename K, typename V> struct AvlNode {
    K key;
    V val;
    AvlNode* parent = nullptr;
    AvlNode* left = nullptr;
    AvlNode* right = nullptr;
    int height = 1;
    AvlNode(K const& k, V const& v) : key(k), val(v) {}
    explicit AvlNode(K const& k) : key(k), val() {}
};

template <typename K, typename V> class AvlTree {
  public:
    typedef AvlNode<K, V> Node;
    Node* root = nullptr;
    long long count = 0;

    AvlTree() = default;
    AvlTree(AvlTree const& o) { copyFrom(o); }
    AvlTree& operator=(AvlTree const& o) {
        if (this != &o) copyFrom(o);
        return *this;
    }
    AvlTree(AvlTree&& o) noexcept { swap(o); }
    AvlTree& operator=(AvlTree&& o) noexcept {
        if (this != &o) {
            clear();
            swap(o);
        }
        return *this;
    }
    ~AvlTree() { clear(); }

    void swap(AvlTree& o) noexcept {
        std::swap(root, o.root);
        std::swap(count, o.count);
    }
    long long size() const { return count; }
    bool isEmpty() const { return count < 1; }

    Node* findNode(K const& k) const {
        Node* n = root;
        while (n) {
            int c = anyCmp(k, n->key);
            if (c == 0) return n;
            n = c < 0 ? n->left : n->right;
        }
        return nullptr;
    }
    bool hasIdx(K const& k) const { return findNode(k) != nullptr; }

    // Inserts or finds; `added` tells which. Null only when allocation failed.
    Node* insertNode(K const& k, V const& v, bool& added) { return insertWith(k, &v, added); }
    // The same with a value made by V's default constructor.
    Node* insertKey(K const& k, bool& added) { return insertWith(k, nullptr, added); }

    Node* insertWith(K const& k, V const* v, bool& added) {
        added = false;
        Node* parent = nullptr;
        Node* n = root;
        int c = 0;
        while (n) {
            c = anyCmp(k, n->key);
            if (c == 0) return n;
            parent = n;
            n = c < 0 ? n->left : n->right;
        }
        Node* x = v ? new (std::nothrow) Node(k, *v) : new (std::nothrow) Node(k);
        if (!x) return nullptr;
        // A key whose copy lost its bytes would sit out of order.
        if (anyCmp(x->key, k) != 0) {
            delete x;
            return nullptr;
        }
        x->parent = parent;
        if (!parent)
            root = x;
        else if (c < 0)
            parent->left = x;
        else
            parent->right = x;
        ++count;
        added = true;
        rebalanceUp(parent, true);
        return x;
    }

    // Inserts a key greater than every key held without a search; null when
    // it is not greater or allocation failed. Builds a tree from sorted keys
    // in linear time.
    Node* appendLast(K const& k, V const& v) {
        Node* parent = root;
        while (parent && parent->right)
            parent = parent->right;
        if (parent && anyCmp(k, parent->key) <= 0) return nullptr;
        Node* x = new (std::nothrow) Node(k, v);
        if (!x) return nullptr;
        if (anyCmp(x->key, k) != 0) { // the key's copy lost its bytes
            delete x;
            return nullptr;
        }
        x->parent = parent;
        if (!parent)
            root = x;
        else
            parent->right = x;
        ++count;
        rebalanceUp(parent, true);
        return x;
    }

    bool delAt(K const& k) {
        Node* z = findNode(k);
        if (!z) return false;
        eraseNode(z);
        return true;
    }

    void eraseNode(Node* z) {
        Node* fix;
        if (z->left && z->right) {
            Node* y = z->right;
            while (y->left)
                y = y->left;
            // Relink the successor y in z's place.
            if (y->parent != z) {
                fix = y->parent;
                replaceChild(y, y->right);
                y->right = z->right;
                y->right->parent = y;
            } else {
                fix = y;
            }
            replaceChild(z, y);
            y->left = z->left;
            y->left->parent = y;
        } else {
            fix = z->parent;
            replaceChild(z, z->left ? z->left : z->right);
        }
        delete z;
        --count;
        rebalanceUp(fix);
    }

    void clear() {
        Node* n = root;
        // Post-order deletion without recursion.
        while (n) {
            if (n->left)
                n = n->left;
            else if (n->right)
                n = n->right;
            else {
                Node* p = n->parent;
                if (p) (p->left == n ? p->left : p->right) = nullptr;
                delete n;
                --count;
                n = p;
            }
        }
        root = nullptr;
        count = 0;
    }

    // Deep copy keeping shape; the copy's count shows how many nodes made it.
    bool copyFrom(AvlTree const& o) {
        clear();
        root = copySub(o.root, nullptr);
        return count == o.count;
    }

    Node* first() const {
        Node* n = root;
        while (n && n->left)
            n = n->left;
        return n;
    }
    Node* last() const {
        Node* n = root;
        while (n && n->right)
            n = n->right;
        return n;
    }
    static Node* next(Node* n) {
        if (!n) return nullptr;
        if (n->right) {
            n = n->right;
            while (n->left)
                n = n->left;
            return n;
        }
        Node* p = n->parent;
        while (p && n == p->right) {
            n = p;
            p = p->parent;
        }
        return p;
    }

    struct Iter {
        Node* n;
        Node& operator*() const { return *n; }
        Node* operator->() const { return n; }
        Iter& operator++() {
            n = AvlTree::next(n);
            return *this;
        }
        bool operator!=(Iter const& o) const { return n != o.n; }
    };
    Iter begin() const { return Iter{first()}; }
    Iter end() const { return Iter{nullptr}; }

    // Checks heights, balance, parent links and order; for tests.
    bool checkTree() const {
        long long seen = 0;
        return checkSub(root, nullptr, seen) >= 0 && seen == count;
    }

  private:
    static int h(Node* n) { return n ? n->height : 0; }
    static void upd(Node* n) {
        int a = h(n->left), b = h(n->right);
        n->height = (a > b ? a : b) + 1;
    }
    void replaceChild(Node* old, Node* nu) {
        Node* p = old->parent;
        if (!p)
            root = nu;
        else if (p->left == old)
            p->left = nu;
        else
            p->right = nu;
        if (nu) nu->parent = p;
    }
    Node* rotLeft(Node* x) {
        Node* y = x->right;
        replaceChild(x, y);
        x->right = y->left;
        if (x->right) x->right->parent = x;
        y->left = x;
        x->parent = y;
        upd(x);
        upd(y);
        return y;
    }
    Node* rotRight(Node* x) {
        Node* y = x->left;
        replaceChild(x, y);
        x->left = y->right;
        if (x->left) x->left->parent = x;
        y->right = x;
        x->parent = y;
        upd(x);
        upd(y);
        return y;
    }
    // After an insert (afterInsert) the walk stops at the first node whose
    // height did not change without a rotation: nothing above it changed.
    void rebalanceUp(Node* n, bool afterInsert = false) {
        while (n) {
            int was = n->height;
            upd(n);
            int bal = h(n->right) - h(n->left);
            if (bal >= 2) {
                if (h(n->right->left) > h(n->right->right)) rotRight(n->right);
                n = rotLeft(n);
            } else if (bal <= -2) {
                if (h(n->left->right) > h(n->left->left)) rotLeft(n->left);
                n = rotRight(n);
            } else if (afterInsert && n->height == was) {
                return;
            }
            n = n->parent;
        }
    }
    Node* copySub(Node* s, Node* parent) {
        if (!s) return nullptr;
        Node* x = new (std::nothrow) Node(s->key, s->val);
        if (!x) return nullptr;
        if (anyCmp(x->key, s->key) != 0) { // key copy failed: count the node as missing
            delete x;
            return nullptr;
        }
        ++count;
        x->parent = parent;
        x->height = s->height;
        x->left = copySub(s->left, x);
        x->right = copySub(s->right, x);
        return x;
    }
    int checkSub(Node* n, Node* parent, long long& seen) const {
        if (!n) return 0;
        if (n->parent != parent) return -1;
        if (n->left && anyCmp(n->left->key, n->key) >= 0) return -1;
        if (n->right && anyCmp(n->right->key, n->key) <= 0) return -1;
        int a = checkSub(n->left, n, seen), b = checkSub(n->right, n, seen);
        if (a < 0 || b < 0 || a - b > 1 || b - a > 1) return -1;
        int hh = (a > b ? a : b) + 1;
        if (hh != n->height) return -1;
        ++seen;
        return hh;
    }
};

struct AvlNoVal {};

template <typename K, typename V> class Map_Kobj2Vobj : public AvlTree<K, V> {
  public:
    typedef AvlNode<K, V> Node;

    // An existing key keeps its value unless `replace` is set.
    bool addKV(K const& k, V const& v, bool replace = false) {
        bool added;
        Node* n = this->insertNode(k, v, added);
        if (!n) return false;
        if (!added && replace) n->val = v;
        return true;
    }
    bool setKV(K const& k, V const& v) { return addKV(k, v, true); }

    V& at(K const& k) {
        Node* n = this->findNode(k);
        if (n) return n->val;
        spare = V();
        return spare;
    }
    V* find(K const& k) const {
        Node* n = this->findNode(k);
        return n ? &n->val : nullptr;
    }

  private:
    V spare{};
};

template <typename K> class Set_Kobj : public AvlTree<K, AvlNoVal> {
  public:
    bool addK(K const& k) {
        bool added;
        return this->insertNode(k, AvlNoVal(), added) != nullptr;
    }
};

// Append-only store of texts in large blocks that never move: strings that
// view them (CxStr1p::setView) cost no heap block each. Texts stay until the
// store is destroyed.
class TextStore {
  public:
    TextStore() = default;
    TextStore(TextStore const&) = delete;
    TextStore& operator=(TextStore const&) = delete;
    ~TextStore() {
        for (char* b : blocks)
            free(b);
    }

    // A copy of the n bytes at text, then tail unless it is zero, then a
    // zero; null when memory ran out.
    char const* add(char const* text, long long n, char tail = 0) {
        if (n < 0) return nullptr;
        char* p = place(n + (tail ? 2 : 1), 1);
        return p ? fill(p, text, n, tail) : nullptr;
    }
    // Room for n bytes at a multiple of align (a power of two up to 16);
    // null when memory ran out.
    char* place(long long n, long long align = 8) {
        if (n < 0 || align < 1 || align > 16) return nullptr;
        long long skip =
            (long long)(-(unsigned long long)(size_t)at & (unsigned long long)(align - 1));
        long long need = n + skip;
        if (need > room) {
            // A text longer than a quarter block gets a block of its own, so
            // the room left in the current one is not thrown away. Fresh
            // blocks suit any alignment.
            bool alone = n > kBlock / 4;
            char* b = (char*)malloc((size_t)(alone ? n : kBlock));
            if (!b || !blocks.addVal(b)) {
                free(b);
                return nullptr;
            }
            if (alone) return b;
            at = b;
            room = kBlock;
            need = n;
        }
        char* p = at + (need - n);
        at += need;
        room -= need;
        return p;
    }

  private:
    static long long const kBlock = 1 << 20;
    Vect1p_Vobj<char*> blocks;
    char* at = nullptr;
    long long room = 0;

    static char const* fill(char* p, char const* text, long long n, char tail) {
        if (n > 0) memcpy(p, text, (size_t)n);
        if (tail) p[n++] = tail;
        p[n] = 0;
        return p;
    }
};

// The containers of strings that most modules pass around.
typedef Vect1p_Vobj<CxStr1p> StrVect;
typedef Set_Kobj<CxStr1p> StrSet;
typedef Map_Kobj2Vobj<CxStr1p, CxStr1p> StrMap;
typedef Map_Kobj2Vobj<CxStr1p, long long> StrNumMap;
