#include "ModelsCommon.h"

namespace kv {

namespace {

std::vector<AnswerEntry> entries()
{
    std::vector<AnswerEntry> all;
    for (auto part : {heatEntries, motionEntries, corralEntries, otherEntries}) {
        const std::vector<AnswerEntry> some = part();
        all.insert(all.end(), some.begin(), some.end());
    }
    return all;
}

} // namespace

QStringList answerStems()
{
    QStringList stems;
    for (const AnswerEntry &e : entries())
        stems << e.stem;
    return stems;
}

Answer answerFor(const QString &stem)
{
    for (const AnswerEntry &e : entries())
        if (e.stem == stem)
            return e.make();
    return {};
}

QList<Answer> allAnswers()
{
    QList<Answer> answers;
    for (const AnswerEntry &e : entries())
        answers << e.make();
    return answers;
}

} // namespace kv
