// SPDX-FileCopyrightText: The Kelvara developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef KELVARA_TESTS_SHADER_FAULTS_H
#define KELVARA_TESTS_SHADER_FAULTS_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMetaType>
#include <QTemporaryDir>

#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

// What stands at one shader path: a file with these bytes, nothing, a
// directory, or a file that cannot be read: on Windows one that another
// handle holds open without sharing, elsewhere a FIFO that no writer ever
// opens.
struct ShaderEntry
{
    enum Kind { File, Absent, Directory, Unreadable };
    Kind kind = File;
    QByteArray source;
};
Q_DECLARE_METATYPE(ShaderEntry)

inline QByteArray readProjectFile(const QString &path)
{
    QFile file(QDir::current().filePath(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct ShaderFault
{
    const char *name;
    ShaderEntry vertex;
    ShaderEntry fragment;
};

// Shaders that are missing or broken in every way the program may meet,
// each with the project's other shader intact.
inline QList<ShaderFault> shaderFaults()
{
    const auto file = [](const QByteArray &source) { return ShaderEntry { ShaderEntry::File, source }; };
    const ShaderEntry absent { ShaderEntry::Absent, {} };
    const ShaderEntry directory { ShaderEntry::Directory, {} };
    const ShaderEntry unreadable { ShaderEntry::Unreadable, {} };
    const ShaderEntry vertex = file(readProjectFile("assets/shaders/default.vert"));
    const ShaderEntry fragment = file(readProjectFile("assets/shaders/default.frag"));
    return {
        { "both missing", absent, absent },
        { "vertex missing", absent, fragment },
        { "fragment missing", vertex, absent },
        { "both empty", file(""), file("") },
        { "garbage", file("this is not GLSL {"), file("\x01\x02\xff not GLSL") },
        { "directories", directory, directory },
#ifdef Q_OS_WIN
        { "vertex file locked by another handle", unreadable, fragment },
#else
        { "FIFO vertex file", unreadable, fragment },
#endif
        { "50 MB vertex file", file(QByteArray(50 * 1024 * 1024, 'x')), fragment },
        { "vertex shader without aPosition",
          file("void main() { gl_Position = vec4(0.0, 0.0, 0.0, 1.0); }"), fragment },
    };
}

// A temporary folder holding assets/shaders/ with the two entries, for the
// view or the program to start in.
class ShaderFolder
{
public:
    bool make(const ShaderEntry &vertex, const ShaderEntry &fragment)
    {
        if (!m_root.isValid() || !QDir(m_root.path()).mkpath("assets/shaders"))
            return false;
        const QDir shaders(m_root.filePath("assets/shaders"));
        return place(shaders, "default.vert", vertex, m_vertexLock)
                && place(shaders, "default.frag", fragment, m_fragmentLock);
    }
    QString path() const { return m_root.path(); }

private:
#ifdef Q_OS_WIN
    // Holds a file open without sharing, so that no one else can open it.
    class LockedFile
    {
    public:
        explicit LockedFile(const QString &path)
            : m_handle(CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
                                   GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr))
        {
        }
        ~LockedFile()
        {
            if (isLocked())
                CloseHandle(m_handle);
        }
        LockedFile(const LockedFile &) = delete;
        LockedFile &operator=(const LockedFile &) = delete;
        bool isLocked() const { return m_handle != INVALID_HANDLE_VALUE; }

    private:
        HANDLE m_handle;
    };
#else
    class LockedFile
    {
    };
#endif

    static bool place(const QDir &shaders, const QString &name, const ShaderEntry &entry,
                      std::optional<LockedFile> &lock)
    {
        switch (entry.kind) {
        case ShaderEntry::Absent:
            return true;
        case ShaderEntry::Directory:
            return shaders.mkdir(name);
        case ShaderEntry::Unreadable:
#ifdef Q_OS_WIN
            lock.emplace(shaders.filePath(name));
            return lock->isLocked();
#else
            Q_UNUSED(lock);
            return mkfifo(QFile::encodeName(shaders.filePath(name)).constData(), 0600) == 0;
#endif
        case ShaderEntry::File: {
            QFile out(shaders.filePath(name));
            return out.open(QIODevice::WriteOnly) && out.write(entry.source) == entry.source.size();
        }
        }
        return false;
    }

    // Declared first, so that the folder goes after the locks are released.
    QTemporaryDir m_root;
    std::optional<LockedFile> m_vertexLock;
    std::optional<LockedFile> m_fragmentLock;
};

#endif
