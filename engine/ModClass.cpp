// SPDX-License-Identifier: Zlib
#include "ModClass.h"

#include "MMatrix.h"
#include "platform/GL.h"

#include <algorithm>

namespace quelt {

namespace {

const void* Offset(std::size_t bytes) { return reinterpret_cast<const void*>(bytes); }

void SwitchArray(GLenum array, bool on) {
    if (on)
        glEnableClientState(array);
    else
        glDisableClientState(array);
}

// Grows a list that has some elements but fewer than `count` to `count`,
// keeping its elements and zeroing the new ones.
void PadWithZeros(TPart& list, std::int32_t count) {
    const std::int32_t have = list.Count();
    if (have == 0 || have >= count) return;
    const std::size_t itemSize = static_cast<std::size_t>(list.ItemSize());
    std::vector<std::byte> copy(static_cast<std::size_t>(count) * itemSize, std::byte{0});
    std::memcpy(copy.data(), list.Data(), static_cast<std::size_t>(have) * itemSize);
    list.Allocate(count);
    std::memcpy(list.Data(), copy.data(), copy.size());
}

} // namespace

void* TPart::Allocate(std::int32_t count) {
    Clear();
    if (count <= 0) return nullptr;
    data_.reset(new std::byte[static_cast<std::size_t>(count) * static_cast<std::size_t>(itemSize_)]);
    count_ = count;
    cursor_ = data_.get();
    return data_.get();
}

void TPart::Clear() {
    if (!data_) return;
    data_.reset();
    cursor_ = nullptr;
    count_ = 0;
}

void TPart::EnableAt(const void*) const {}

void TVertexList::EnableAt(const void* pointer) const {
    SwitchArray(GL_VERTEX_ARRAY, Count() != 0);
    if (Count() != 0) glVertexPointer(3, GL_FLOAT, 0, pointer);
}

void TNormalList::EnableAt(const void* pointer) const {
    SwitchArray(GL_NORMAL_ARRAY, Count() != 0);
    if (Count() != 0) glNormalPointer(GL_FLOAT, 0, pointer);
}

void TWrap::EnableAt(const void* pointer) const {
    SwitchArray(GL_TEXTURE_COORD_ARRAY, Count() != 0);
    if (Count() != 0) glTexCoordPointer(components_, GL_FLOAT, 0, pointer);
}

void TFaceList::DrawTrianglesAt(const void* indices) const {
    if (Count() == 0) return;
    glDrawElements(GL_TRIANGLES, Count() * 3, GL_UNSIGNED_SHORT, indices);
}

TModel::~TModel() { DeleteBuffers(); }

const TMatrix4& TModel::FrameMatrix() {
    static const TMatrix4 identity = [] {
        TMatrix4 m;
        matIdentity(m);
        return m;
    }();
    return identity;
}

void TModel::Draw() const {
    glPushClientAttrib(0xFFFFFFFFu);
    if (UseBuffers) {
        glBindBuffer(GL_ARRAY_BUFFER, VertexBuffer);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, IndexBuffer);
        Vertices.EnableAt(Offset(0));
        Normals.EnableAt(Offset(normalsOffset_));
        TexCoords.EnableAt(Offset(texCoordsOffset_));
        Faces.DrawTrianglesAt(Offset(0));
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    } else {
        Vertices.Enable();
        Normals.Enable();
        TexCoords.Enable();
        Faces.DrawTriangles();
    }
    glPopClientAttrib();
}

void TModel::DrawImmediate() const {
    const std::int32_t vertexCount = Vertices.Count();
    const std::int32_t normalCount = Normals.Count();
    const std::int32_t texCount = TexCoords.Count();
    glBegin(GL_TRIANGLES);
    for (std::int32_t i = 0; i < Faces.Count(); ++i) {
        const TFace face = Faces.GetItem(i);
        if (face.a >= vertexCount || face.b >= vertexCount || face.c >= vertexCount) continue;
        for (const std::int32_t index : {face.a, face.b, face.c}) {
            const TVec3D normal = index < normalCount ? Normals.GetItem(index) : TVec3D{0, 0, 0};
            const TVec2D uv = index < texCount ? TexCoords.GetItem(index) : TVec2D{0, 0};
            const TVec3D position = Vertices.GetItem(index);
            glNormal3f(normal.x, normal.y, normal.z);
            glTexCoord2f(uv.x, uv.y);
            glVertex3f(position.x, position.y, position.z);
        }
    }
    glEnd();
}

void TModel::CompileList(std::uint32_t listName) const {
    glNewList(listName, GL_COMPILE);
    DrawImmediate();
    glEndList();
}

bool TModel::CreateBuffers() {
    DeleteBuffers();
    GLuint names[2] = {0, 0};
    glGenBuffers(2, names);
    if (names[0] == 0 || names[1] == 0) {
        glDeleteBuffers(2, names);
        UseBuffers = false;
        return false;
    }
    const auto bytes = [](const TPart& list) {
        return static_cast<std::size_t>(list.Count()) * static_cast<std::size_t>(list.ItemSize());
    };
    normalsOffset_ = bytes(Vertices);
    texCoordsOffset_ = normalsOffset_ + bytes(Normals);
    const std::size_t total = texCoordsOffset_ + bytes(TexCoords);

    VertexBuffer = names[0];
    IndexBuffer = names[1];
    glBindBuffer(GL_ARRAY_BUFFER, VertexBuffer);
    std::vector<std::byte> packed(total);
    if (bytes(Vertices)) std::memcpy(packed.data(), Vertices.Data(), bytes(Vertices));
    if (bytes(Normals)) std::memcpy(packed.data() + normalsOffset_, Normals.Data(), bytes(Normals));
    if (bytes(TexCoords)) std::memcpy(packed.data() + texCoordsOffset_, TexCoords.Data(), bytes(TexCoords));
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(total), packed.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, IndexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(bytes(Faces)), Faces.Data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    UseBuffers = true;
    return true;
}

void TModel::DeleteBuffers() {
    if (VertexBuffer == 0 && IndexBuffer == 0) return;
    const GLuint names[2] = {VertexBuffer, IndexBuffer};
    glDeleteBuffers(2, names);
    VertexBuffer = IndexBuffer = 0;
    UseBuffers = false;
}

std::int32_t TModel::MakeDrawSafe() {
    const std::int32_t vertexCount = Vertices.Count();
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < Faces.Count(); ++i) {
        const TFace face = Faces.GetItem(i);
        if (face.a < vertexCount && face.b < vertexCount && face.c < vertexCount) Faces.SetItem(kept++, face);
    }
    const std::int32_t dropped = Faces.Count() - kept;
    if (dropped != 0) {
        std::vector<TFace> faces(Faces.Items(), Faces.Items() + kept);
        Faces.Allocate(kept);
        if (kept != 0) std::memcpy(Faces.Data(), faces.data(), faces.size() * sizeof(TFace));
    }

    PadWithZeros(Normals, vertexCount);
    PadWithZeros(TexCoords, vertexCount);
    return dropped;
}

} // namespace quelt
