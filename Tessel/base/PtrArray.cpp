#include "PtrArray.h"

#include <cstdlib>
#include <stdexcept>
#include <utility>

int32_t PtrArray::Compare(const void*, const void*) const
{
    return 0;
}

PtrArray::~PtrArray()
{
    std::free(m_pData);
}

void PtrArray::Grow()
{
    if (m_iCount == INT32_MAX) throw std::runtime_error("Memory Allocation Failed.");
    const size_t slots = static_cast<size_t>(m_iCount) + 1;
    void** data = static_cast<void**>(std::realloc(m_pData, slots * sizeof(void*)));
    if (!data) throw std::runtime_error("Memory Allocation Failed.");
    m_pData = data;
    m_pData[m_iCount] = nullptr;
}

void PtrArray::Add(void* element)
{
    Grow();
    m_pData[m_iCount++] = element;
}

void* PtrArray::GetAt(int32_t index) const
{
    if (index < 0 || index >= m_iCount) throw std::runtime_error("Invalid Array Index Value.");
    return m_pData[index];
}

void PtrArray::Sort(int32_t order)
{
    if (m_iCount > 0) QuickSort(0, m_iCount - 1, order);
}

void PtrArray::QuickSort(int32_t first, int32_t last, int32_t order)
{
    if (last - first <= 0) return;
    if (first < 0 || last >= m_iCount) throw std::runtime_error("Invalid Array Index Value.");
    const int32_t mid = first + (last - first) / 2;
    std::swap(m_pData[last], m_pData[mid]);
    const void* pivot = m_pData[last];
    int32_t store = first;
    for (int32_t i = first; i < last; ++i) {
        const int32_t c = Compare(m_pData[i], pivot);
        if ((order == 0 && c <= 0) || (order == 1 && c >= 0)) {
            if (i != store) std::swap(m_pData[store], m_pData[i]);
            ++store;
        }
    }
    std::swap(m_pData[last], m_pData[store]);
    if (first < store) QuickSort(first, store - 1, order);
    if (store < last) QuickSort(store + 1, last, order);
}

BlockArray::~BlockArray()
{
    for (int32_t i = 0; i < m_iCount; ++i) std::free(m_pData[i]);
}
