#pragma once

#include <QString>

#include <array>
#include <optional>

namespace tarnwick {

// What a timeline name rule does to the timelines whose names contain its pattern.
enum class SequenceRuleAction { protect, ignore };

inline constexpr std::array<SequenceRuleAction, 2> allSequenceRuleActions{SequenceRuleAction::protect,
                                                                          SequenceRuleAction::ignore};

QString text(SequenceRuleAction value);
std::optional<SequenceRuleAction> sequenceRuleActionFromText(const QString& text);

} // namespace tarnwick
