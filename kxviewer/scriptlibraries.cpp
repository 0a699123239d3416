#include "kxviewer/scriptlibraries.h"

ScriptLibraries::ScriptLibraries(QWidget* window)
{
    // A window made again (tests) fills the constants anew rather than
    // adding a second set behind the first.
    ScriptConstantTable::Global().Clear();
    math_.Init(&scripts_, &search_);
    csv_.Init(&scripts_);
    view_.Init(&scripts_, &table_, table_.Init(&scripts_));
    gui_.Init(window, &scripts_);
    ScriptLibRegistry::script = &scripts_;
    ScriptLibRegistry::search = &search_;
}

ScriptLibraries::~ScriptLibraries()
{
    if (ScriptLibRegistry::script == &scripts_)
        ScriptLibRegistry::script = nullptr;
    if (ScriptLibRegistry::search == &search_)
        ScriptLibRegistry::search = nullptr;
}

std::string ScriptLibraries::RunEnded() { return scripts_.RunEnded(); }
