#include <QCoreApplication>
#include <iostream>
#include <unistd.h>

#include "batch.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);  // the locale's text codec for file names
    std::vector<std::string> args;
    for (const QString& arg : QCoreApplication::arguments().mid(1)) args.push_back(arg.toStdString());
    return batch::Main(args, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1);
}
