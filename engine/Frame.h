#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace lumora {

// Frame pixels start on a cache line: whole-vector stores along a row then split a line only
// where the row itself does, not at every store.
template <class T> struct CacheLineAllocator {
    using value_type = T;
    static constexpr std::size_t alignment = 64;
    CacheLineAllocator() = default;
    template <class U> CacheLineAllocator(const CacheLineAllocator<U>&) {}
    T* allocate(std::size_t n) {
        return static_cast<T*>(::operator new (n * sizeof(T), std::align_val_t{alignment}));
    }
    void deallocate(T* p, std::size_t) { ::operator delete (p, std::align_val_t{alignment}); }
    template <class U> bool operator==(const CacheLineAllocator<U>&) const { return true; }
};

using FramePixels = std::vector<std::uint8_t, CacheLineAllocator<std::uint8_t>>;

// An immutable RGBA frame: width x height pixels, bytes R, G, B, A, rows top to bottom with
// no padding. Copies share the pixels read-only; the renderer never writes to pixels a frame
// still refers to.
class Frame {
public:
    Frame() = default;

    bool isNull() const { return !m_pixels; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    int bytesPerLine() const { return m_width * 4; }
    const std::uint8_t* data() const { return m_pixels ? m_pixels->data() : nullptr; }
    std::size_t byteCount() const { return m_pixels ? m_pixels->size() : 0; }

    std::array<std::uint8_t, 4> pixel(int x, int y) const {
        const std::uint8_t* p = data() + (static_cast<std::size_t>(y) * m_width + x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }

    bool sameBytes(const Frame& other) const {
        return m_width == other.m_width && m_height == other.m_height &&
               (m_pixels == other.m_pixels ||
                (m_pixels && other.m_pixels && *m_pixels == *other.m_pixels));
    }

private:
    friend class EffectRenderer;
    Frame(std::shared_ptr<const FramePixels> pixels, int width, int height)
        : m_pixels(std::move(pixels)), m_width(width), m_height(height) {}

    std::shared_ptr<const FramePixels> m_pixels;
    int m_width = 0;
    int m_height = 0;
};

} // namespace lumora
