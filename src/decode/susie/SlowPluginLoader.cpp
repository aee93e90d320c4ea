#include "SlowPluginLoader.h"

#include <exception>

SlowPluginLoader::SlowPluginLoader(QStringList paths, Done done)
    : m_thread([paths = std::move(paths), done = std::move(done), finished = m_finished] {
          LoadedPlugins loaded;
          for (const QString& path : paths) {
              try {
                  if (std::unique_ptr<TSPI> spi = CreateSPI(path))
                      loaded.push_back(std::move(spi));
              } catch (const std::exception&) {
                  // A plug-in that fails to load is left out, as in a search.
              }
          }
          done(std::move(loaded));
          *finished = true;
      })
{
}

SlowPluginLoader::~SlowPluginLoader()
{
    if (m_thread.joinable())
        m_thread.join();
}
