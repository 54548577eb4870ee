#pragma once

#include <QString>

namespace tarnwick {

// The names After Effects gives by itself, in the languages it ships in: everyone's projects hold
// them, so they never tell one person's project from another's. Compared case-insensitively, in
// canonical form, with any run of spaces read as one.
namespace AEDefaultNames {

// A new composition's or a pre-composition's name with any number ("Comp 1", "Comp 01",
// "Pre-comp 3", "合成 1", "コンポ 2", …). A name the user wrote around it ("Intro Comp 1") is theirs.
bool isDefaultCompositionName(const QString& name);

// The name of a project never saved under one of its own ("Untitled Project", "无标题项目", …),
// with or without its ".aep".
bool isDefaultProjectName(const QString& name);

} // namespace AEDefaultNames

} // namespace tarnwick
