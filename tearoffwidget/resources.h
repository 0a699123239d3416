// Paths of the images embedded in the program under ":Res/".
#pragma once

class Resources {
public:
    static constexpr const char* Prefix = ":Res/";
    static constexpr const char* IconExt = ".ico";

    // ":Res/" + the icon stem of action id + ".ico". The text lives in a
    // scratch buffer of the string ring: copy it to keep it.
    static const char* GetActionIconPath(int id);
    // ":Res/" + name + extension, in a scratch buffer as above.
    static const char* GetIconPath(const char* name, const char* extension);

    // Registers the embedded tree (also done by a static initializer);
    // Cleanup unregisters it.
    static void Init();
    static void Cleanup();
};
