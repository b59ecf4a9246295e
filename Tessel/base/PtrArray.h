#pragma once
#include <cstdint>

// Growable arrays of owned pointers: one slot more per Add, never shrinking.
class PtrArray {
public:
    PtrArray() = default;
    PtrArray(const PtrArray&) = delete;
    PtrArray& operator=(const PtrArray&) = delete;

    virtual int32_t Compare(const void* a, const void* b) const;
    virtual void QuickSort(int32_t first, int32_t last, int32_t order);
    virtual ~PtrArray();
    virtual void Add(void* element);
    virtual void* GetAt(int32_t index) const;
    virtual void Sort(int32_t order);
    virtual int32_t GetSize() const { return m_iCount; }
    virtual void NoOp() { }

protected:
    // Grows the slot block by one; the new slot holds null. Throws on failure.
    void Grow();
    void** m_pData = nullptr;
    int32_t m_iCount = 0;
};

// Owns objects of one type and destroys them through their (virtual) destructor.
template <class T>
class ObjectArray : public PtrArray {
public:
    ~ObjectArray() override
    {
        for (int32_t i = 0; i < m_iCount; ++i) delete static_cast<T*>(m_pData[i]);
    }
    void Add(T* element) { PtrArray::Add(element); }
    T* GetObjectAt(int32_t index) const { return static_cast<T*>(GetAt(index)); }

private:
    using PtrArray::Add;
};

// Owns plain memory blocks (malloc/free).
class BlockArray : public PtrArray {
public:
    ~BlockArray() override;
};
