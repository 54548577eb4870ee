#include "ui/tools/SequenceUsageModel.h"

#include "analysis/ProjectManagerFace.h"
#include "platform/Graphemes.h"
#include "stores/SequenceUsagePolicyStore.h"

namespace tarnwick {

QList<VisibleSequenceProject> visibleSequenceProjects(const QList<ProjectFile>& projects,
                                                      const QString& searchText) {
    const QString q = searchText.trimmed();
    QList<VisibleSequenceProject> out;
    for (const ProjectFile& project : projects) {
        VisibleSequenceProject visible{project, {}};
        if (q.isEmpty() || project.name.contains(q, Qt::CaseInsensitive)) {
            visible.sequences = project.sequences;
        } else {
            for (const ProjectSequence& sequence : project.sequences)
                if (sequence.displayName().contains(q, Qt::CaseInsensitive))
                    visible.sequences.append(sequence);
        }
        if (!visible.sequences.isEmpty())
            out.append(std::move(visible));
    }
    return out;
}

qint64 unattributedCount(const ProjectFile& project) {
    qint64 sum = 0;
    for (const SequenceUsageAttribution& attribution : project.sequenceUsageByPath)
        sum += attribution.unattributedOccurrences;
    return sum;
}

QString sequenceIdCaption(const QString& id) {
    return QStringLiteral("ID …") + graphemes::suffix(id, 8);
}

SequenceUsageModel::SequenceUsageModel(ProjectManagerFace& manager, QObject* parent)
    : QAbstractListModel(parent), m_manager(manager) {
    connect(&m_manager, &ProjectManagerFace::policyChanged, this, &SequenceUsageModel::refresh);
    connect(&m_manager, &ProjectManagerFace::projectsChanged, this, &SequenceUsageModel::refresh);
    refresh();
}

void SequenceUsageModel::setSearchText(const QString& text) {
    if (text == m_searchText)
        return;
    m_searchText = text;
    refresh();
}

void SequenceUsageModel::refresh() {
    beginResetModel();
    m_visible = visibleSequenceProjects(m_manager.projects(), m_searchText);
    m_rows.clear();
    m_timelineCount = 0;
    m_projectCount = int(m_visible.size());
    const SequenceUsagePolicyStore& store = m_manager.sequencePolicy();
    for (int p = 0; p < m_visible.size(); ++p) {
        const VisibleSequenceProject& group = m_visible.at(p);
        Row header;
        header.header = true;
        header.project = p;
        header.displayName = group.project.name;
        header.unattributed = unattributedCount(group.project);
        m_rows.append(header);
        // One policy per project for all of its rows.
        const SequencePolicySnapshot policy = store.snapshot(group.project.url);
        ++m_policyEvaluations;
        for (const ProjectSequence& sequence : group.sequences) {
            Row row;
            row.project = p;
            row.sequence = sequence;
            row.displayName = sequence.displayName();
            row.decision = SequenceUsagePolicyStore::decision(sequence.id, sequence.name, policy);
            m_rows.append(row);
            ++m_timelineCount;
        }
    }
    endResetModel();
}

int SequenceUsageModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant SequenceUsageModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const Row& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.displayName;
    case isHeaderRole:
        return row.header;
    case decisionRole:
        return int(row.decision);
    case captionRole:
        return row.header ? QString() : sequenceIdCaption(row.sequence.id);
    case unattributedRole:
        return row.unattributed;
    case Qt::CheckStateRole:
        if (row.header)
            return {};
        return row.decision == SequenceUsageDecision::ignored ? Qt::Unchecked : Qt::Checked;
    default:
        return {};
    }
}

int SequenceUsageModel::rowOf(const QString& projectName, const QString& sequenceID) const {
    for (int i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows.at(i);
        if (!row.header && row.sequence.id == sequenceID &&
            m_visible.at(row.project).project.name == projectName)
            return i;
    }
    return -1;
}

void SequenceUsageModel::setCounted(int row, bool counted) {
    if (row < 0 || row >= m_rows.size() || m_rows.at(row).header)
        return;
    const Row target = m_rows.at(row);
    if (target.decision == SequenceUsageDecision::protected_)
        return;
    if (m_manager.setSequenceCounted(counted, target.sequence, m_visible.at(target.project).project))
        refresh();
}

bool SequenceUsageModel::canAddNameRule(int row) const {
    return row >= 0 && row < m_rows.size() && !m_rows.at(row).header &&
           !m_rows.at(row).sequence.name.trimmed().isEmpty();
}

void SequenceUsageModel::protectName(int row) {
    if (canAddNameRule(row) &&
        m_manager.addSequenceRule(m_rows.at(row).sequence.name, SequenceRuleAction::protect)) {
        refresh();
        Q_EMIT rulesChanged();
    }
}

void SequenceUsageModel::ignoreName(int row) {
    if (canAddNameRule(row) &&
        m_manager.addSequenceRule(m_rows.at(row).sequence.name, SequenceRuleAction::ignore)) {
        refresh();
        Q_EMIT rulesChanged();
    }
}

} // namespace tarnwick
