// SPDX-License-Identifier: Zlib
// A model part in memory: flat element lists laid out exactly as OpenGL's
// client-side arrays take them, and the two ways of drawing a part.
#pragma once

#include <quelt/quelt.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace quelt {

// The base of every element list: one contiguous buffer of Count elements of
// ItemSize bytes. Cursor is the pointer handed to the array and draw calls.
class TPart {
public:
    TPart() = default;
    virtual ~TPart() = default;
    TPart(const TPart&) = delete;
    TPart& operator=(const TPart&) = delete;

    // Drops the old buffer and allocates `count` uninitialised elements;
    // a count of 0 or less leaves the list empty. Returns the buffer.
    void* Allocate(std::int32_t count);
    void Clear();
    // Binds this list as its client-side array (nothing for lists that have none).
    void Enable() const { EnableAt(Cursor()); }

    void* Data() const { return data_.get(); }
    std::int32_t Count() const { return count_; }
    std::int32_t ItemSize() const { return itemSize_; }
    void* Cursor() const { return cursor_; }

    // Binds the array at `pointer`: the buffer itself, or an offset into a bound buffer object.
    virtual void EnableAt(const void* pointer) const;

protected:
    explicit TPart(std::int32_t itemSize) : itemSize_(itemSize) {}

    // Element access; the caller keeps 0 <= index < Count.
    template <typename T>
    void Store(std::int32_t index, const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        std::memcpy(data_.get() + static_cast<std::size_t>(index) * itemSize_, &value, sizeof(T));
    }
    template <typename T>
    T Load(std::int32_t index) const {
        T value;
        std::memcpy(&value, data_.get() + static_cast<std::size_t>(index) * itemSize_, sizeof(T));
        return value;
    }

private:
    std::unique_ptr<std::byte[]> data_;
    std::int32_t count_ = 0;
    std::int32_t itemSize_ = 1;
    void* cursor_ = nullptr;
};

class TVec3List : public TPart {
public:
    TVec3List() : TPart(sizeof(TVec3D)) {}
    void SetItem(std::int32_t index, const TVec3D& value) { Store(index, value); }
    TVec3D GetItem(std::int32_t index) const { return Load<TVec3D>(index); }
    const TVec3D* Items() const { return static_cast<const TVec3D*>(Data()); }
    TVec3D* Items() { return static_cast<TVec3D*>(Data()); }
};

class TVertexList : public TVec3List {
public:
    void EnableAt(const void* pointer) const override;
};

class TNormalList : public TVec3List {
public:
    void EnableAt(const void* pointer) const override;
};

// Texture coordinates with Components floats per element.
class TWrap : public TPart {
public:
    explicit TWrap(std::int32_t components) : TPart(components * 4), components_(components) {}
    std::int32_t Components() const { return components_; }
    void EnableAt(const void* pointer) const override;

private:
    std::int32_t components_;
};

class TTexCoord2D : public TWrap {
public:
    TTexCoord2D() : TWrap(2) {}
    // Ignored while the list is empty.
    void SetItem(std::int32_t index, const TVec2D& value) {
        if (Data()) Store(index, value);
    }
    // (0, 0) while the list is empty.
    TVec2D GetItem(std::int32_t index) const { return Data() ? Load<TVec2D>(index) : TVec2D{0, 0}; }
};

struct TFace {
    std::uint16_t a, b, c;
};
static_assert(sizeof(TFace) == 6, "triangles are packed as three 16-bit indices");

class TFaceList : public TPart {
public:
    TFaceList() : TPart(sizeof(TFace)) {}
    void SetItem(std::int32_t index, const TFace& value) { Store(index, value); }
    TFace GetItem(std::int32_t index) const { return Load<TFace>(index); }
    const TFace* Items() const { return static_cast<const TFace*>(Data()); }
    TFace* Items() { return static_cast<TFace*>(Data()); }
    // One indexed draw of every triangle; nothing when empty.
    void DrawTriangles() const { DrawTrianglesAt(Cursor()); }
    void DrawTrianglesAt(const void* indices) const;
};

// One mesh part. Its lists die with it; buffer objects it created are deleted
// with it (a no-op once the context is gone).
class TModel {
public:
    TModel() = default;
    ~TModel();
    TModel(const TModel&) = delete;
    TModel& operator=(const TModel&) = delete;

    TVertexList Vertices;
    TNormalList Normals;
    TTexCoord2D TexCoords;
    TFaceList Faces;
    bool UseBuffers = false;
    std::uint32_t VertexBuffer = 0;
    std::uint32_t IndexBuffer = 0;
    // Animation frames. Every frame matrix is the identity, so none is
    // stored: a segment of any length costs nothing.
    std::int32_t FrameCount() const { return frameCount_; }
    void SetFrameCount(std::int32_t count) { frameCount_ = count; }
    static const TMatrix4& FrameMatrix();

    // Client arrays (or the buffer objects when UseBuffers); the caller's
    // client state is saved and restored around the draw.
    void Draw() const;
    // Vertex by vertex between begin and end, for display lists. A missing
    // normal or texture coordinate is sent as zeros; a triangle that indexes
    // past the vertices is left out.
    void DrawImmediate() const;
    void CompileList(std::uint32_t listName) const;

    // Uploads the lists into a vertex and an index buffer object and sets
    // UseBuffers. Needs a current context; false when buffers are unavailable.
    bool CreateBuffers();

    // Makes the part safe for the indexed draw: removes triangles whose
    // indices run past the vertices, and pads normals or texture coordinates
    // that exist but are fewer than the vertices with zeros. Returns the
    // number of triangles removed.
    std::int32_t MakeDrawSafe();

private:
    void DeleteBuffers();
    // Where the normals and texture coordinates start in VertexBuffer.
    std::size_t normalsOffset_ = 0;
    std::size_t texCoordsOffset_ = 0;
    std::int32_t frameCount_ = 0;
};

} // namespace quelt
