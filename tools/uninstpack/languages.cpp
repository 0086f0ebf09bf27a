// The default texts, written in the register of each system's own dialogs: the polite form,
// the system's words for Retry and for the registry, the button wording of its file dialogs.
// Buttons 3 to 6 fit the prompt's 50-unit buttons and have four different access keys; in
// Japanese and Chinese the key follows the label in brackets, as those systems write it.
#include "tools/uninstpack/languages.h"

#include "tools/uninstpack/text.h"

namespace uninstpack {

namespace {

const std::vector<LanguageSet> kSets = {
    {"en", "English",
     {"{product} Uninstall",
      "{product} and all of its components will be removed from your computer. Do you want to continue?",
      "{product} was removed from your computer.",
      "&Yes",
      "Yes to &All",
      "&No",
      "N&o to All",
      "There is not enough memory to read the uninstall information in %s.",
      "The uninstall information in %s is missing or damaged. Nothing was removed.",
      "%s is a read-only file. Do you want to remove it anyway?",
      "The shared file %s is no longer used by any program. Do you want to remove it?",
      "Removing files...",
      "Removing shortcuts...",
      "Removing folders...",
      "Removing registry entries...",
      "{product} is running. Close it, and then click Retry."}},
    {"de", "Deutsch (German)",
     {"Deinstallation von {product}",
      "{product} und alle zugehörigen Komponenten werden von diesem Computer entfernt. Möchten Sie fortfahren?",
      "{product} wurde von diesem Computer entfernt.",
      "&Ja",
      "Ja für &alle",
      "&Nein",
      "Nein für a&lle",
      "Es ist nicht genügend Arbeitsspeicher vorhanden, um die Deinstallationsdaten in %s zu lesen.",
      "Die Deinstallationsdaten in %s fehlen oder sind beschädigt. Es wurde nichts entfernt.",
      "%s ist schreibgeschützt. Möchten Sie die Datei trotzdem entfernen?",
      "Die gemeinsam genutzte Datei %s wird von keinem Programm mehr verwendet. Möchten Sie sie entfernen?",
      "Dateien werden entfernt...",
      "Verknüpfungen werden entfernt...",
      "Ordner werden entfernt...",
      "Registrierungseinträge werden entfernt...",
      "{product} wird ausgeführt. Schließen Sie das Programm, und klicken Sie dann auf \"Wiederholen\"."}},
    {"fr", "Français (French)",
     {"Désinstallation de {product}",
      "{product} et tous ses composants vont être supprimés de cet ordinateur. Voulez-vous continuer ?",
      "La suppression de {product} est terminée.",
      "&Oui",
      "Oui pour &tout",
      "&Non",
      "Non pour to&ut",
      "Mémoire insuffisante pour lire les informations de désinstallation de %s.",
      "Les informations de désinstallation de %s sont absentes ou endommagées. Rien n'a été supprimé.",
      "%s est un fichier en lecture seule. Voulez-vous quand même le supprimer ?",
      "Le fichier partagé %s n'est plus utilisé par aucun programme. Voulez-vous le supprimer ?",
      "Suppression des fichiers...",
      "Suppression des raccourcis...",
      "Suppression des dossiers...",
      "Suppression des entrées du Registre...",
      "{product} est en cours d'exécution. Fermez le programme, puis cliquez sur Réessayer."}},
    {"es", "Español (Spanish)",
     {"Desinstalación de {product}",
      "Se quitarán {product} y todos sus componentes de este equipo. ¿Desea continuar?",
      "{product} se quitó de este equipo.",
      "&Sí",
      "Sí a &todo",
      "&No",
      "N&o a todo",
      "No hay memoria suficiente para leer la información de desinstalación de %s.",
      "Falta la información de desinstalación de %s o está dañada. No se quitó nada.",
      "%s es un archivo de solo lectura. ¿Desea quitarlo de todos modos?",
      "Ningún programa usa ya el archivo compartido %s. ¿Desea quitarlo?",
      "Quitando archivos...",
      "Quitando accesos directos...",
      "Quitando carpetas...",
      "Quitando entradas del Registro...",
      "{product} se está ejecutando. Ciérrelo y haga clic en Reintentar."}},
    {"it", "Italiano (Italian)",
     {"Disinstallazione di {product}",
      "{product} e tutti i relativi componenti verranno rimossi dal computer. Continuare?",
      "La rimozione di {product} è stata completata.",
      "&Sì",
      "Sì a &tutti",
      "&No",
      "N&o a tutti",
      "Memoria insufficiente per leggere le informazioni di disinstallazione di %s.",
      "Le informazioni di disinstallazione di %s sono mancanti o danneggiate. Non è stato rimosso nulla.",
      "%s è un file di sola lettura. Rimuoverlo comunque?",
      "Il file condiviso %s non è più utilizzato da alcun programma. Rimuoverlo?",
      "Rimozione dei file in corso...",
      "Rimozione dei collegamenti in corso...",
      "Rimozione delle cartelle in corso...",
      "Rimozione delle voci del Registro di sistema in corso...",
      "{product} è in esecuzione. Chiudere il programma, quindi fare clic su Riprova."}},
    {"pt-BR", "Português do Brasil (Brazilian Portuguese)",
     {"Desinstalação de {product}",
      "{product} e todos os seus componentes serão removidos do computador. Deseja continuar?",
      "A remoção de {product} foi concluída.",
      "&Sim",
      "Sim para &todos",
      "&Não",
      "Não para t&odos",
      "Não há memória suficiente para ler as informações de desinstalação de %s.",
      "As informações de desinstalação de %s estão ausentes ou danificadas. Nada foi removido.",
      "%s é um arquivo somente leitura. Deseja removê-lo mesmo assim?",
      "O arquivo compartilhado %s não é mais usado por nenhum programa. Deseja removê-lo?",
      "Removendo arquivos...",
      "Removendo atalhos...",
      "Removendo pastas...",
      "Removendo entradas do Registro...",
      "{product} está em execução. Feche o programa e clique em Repetir."}},
    {"nl", "Nederlands (Dutch)",
     {"{product} verwijderen",
      "{product} en alle bijbehorende onderdelen worden van deze computer verwijderd. Wilt u doorgaan?",
      "{product} is van deze computer verwijderd.",
      "&Ja",
      "Ja op &alles",
      "&Nee",
      "N&ee op alles",
      "Onvoldoende geheugen om de verwijderingsgegevens in %s te lezen.",
      "De verwijderingsgegevens in %s ontbreken of zijn beschadigd. Er is niets verwijderd.",
      "%s is een alleen-lezen bestand. Wilt u het toch verwijderen?",
      "Het gedeelde bestand %s wordt door geen enkel programma meer gebruikt. Wilt u het verwijderen?",
      "Bestanden verwijderen...",
      "Snelkoppelingen verwijderen...",
      "Mappen verwijderen...",
      "Registervermeldingen verwijderen...",
      "{product} wordt uitgevoerd. Sluit het programma en klik op Opnieuw."}},
    {"pl", "Polski (Polish)",
     {"Dezinstalacja programu {product}",
      "Program {product} i wszystkie jego składniki zostaną usunięte z tego komputera. Czy chcesz kontynuować?",
      "Program {product} został usunięty z tego komputera.",
      "&Tak",
      "Tak, &wszystkie",
      "&Nie",
      "Ni&e, żadne",
      "Za mało pamięci, aby odczytać informacje dezinstalacyjne z pliku %s.",
      "Brak informacji dezinstalacyjnych w pliku %s lub są one uszkodzone. Nic nie zostało usunięte.",
      "Plik %s jest tylko do odczytu. Czy mimo to chcesz go usunąć?",
      "Żaden program nie używa już udostępnionego pliku %s. Czy chcesz go usunąć?",
      "Usuwanie plików...",
      "Usuwanie skrótów...",
      "Usuwanie folderów...",
      "Usuwanie wpisów rejestru...",
      "Program {product} jest uruchomiony. Zamknij go, a następnie kliknij przycisk Ponów próbę."}},
    {"ru", "Русский (Russian)",
     {"Удаление программы {product}",
      "Программа {product} и все её компоненты будут удалены с этого компьютера. Продолжить?",
      "Программа {product} удалена с этого компьютера.",
      "&Да",
      "Да для &всех",
      "&Нет",
      "Н&ет для всех",
      "Недостаточно памяти для чтения сведений об удалении из %s.",
      "Сведения об удалении в %s отсутствуют или повреждены. Ничего не удалено.",
      "Файл %s доступен только для чтения. Всё равно удалить его?",
      "Общий файл %s больше не используется ни одной программой. Удалить его?",
      "Удаление файлов...",
      "Удаление ярлыков...",
      "Удаление папок...",
      "Удаление записей реестра...",
      "Программа {product} выполняется. Закройте её и нажмите кнопку «Повторить»."}},
    {"ja", "日本語 (Japanese)",
     {"{product} のアンインストール",
      "{product} とそのすべてのコンポーネントをこのコンピューターから削除します。続行しますか？",
      "{product} はこのコンピューターから削除されました。",
      "はい(&Y)",
      "すべてはい(&A)",
      "いいえ(&N)",
      "すべていいえ(&O)",
      "%s のアンインストール情報を読み込むためのメモリが不足しています。",
      "%s のアンインストール情報が見つからないか、壊れています。何も削除されませんでした。",
      "%s は読み取り専用ファイルです。削除しますか？",
      "共有ファイル %s は、どのプログラムでも使用されなくなりました。削除しますか？",
      "ファイルを削除しています...",
      "ショートカットを削除しています...",
      "フォルダーを削除しています...",
      "レジストリ エントリを削除しています...",
      "{product} は実行中です。終了してから [再試行] をクリックしてください。"}},
    {"zh-CN", "简体中文 (Simplified Chinese)",
     {"{product} 卸载",
      "将从此计算机中删除 {product} 及其所有组件。是否继续？",
      "已从此计算机中删除 {product}。",
      "是(&Y)",
      "全部是(&A)",
      "否(&N)",
      "全部否(&O)",
      "内存不足，无法读取 %s 中的卸载信息。",
      "%s 中的卸载信息丢失或已损坏。未删除任何内容。",
      "%s 是只读文件。是否仍要删除它？",
      "共享文件 %s 已不再被任何程序使用。是否删除它？",
      "正在删除文件...",
      "正在删除快捷方式...",
      "正在删除文件夹...",
      "正在删除注册表项...",
      "{product} 正在运行。请将其关闭，然后单击“重试”。"}},
};

std::string Canonical(const std::string& tag) {
    std::string out;
    for (char c : tag) out.push_back(c == '_' ? '-' : (c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c));
    return out;
}

}  // namespace

const std::vector<LanguageSet>& LanguageSets() { return kSets; }

const LanguageSet* FindLanguage(const std::string& tag, std::string* advice) {
    const std::string want = Canonical(tag);
    for (const LanguageSet& s : kSets)
        if (Canonical(s.tag) == want) return &s;
    size_t dash = want.find('-');
    std::string base = want.substr(0, dash);
    if (dash != std::string::npos)
        for (const LanguageSet& s : kSets)
            if (Canonical(s.tag) == base) return &s;
    std::string close, all;
    for (const LanguageSet& s : kSets) {
        std::string t = Canonical(s.tag);
        if (t.compare(0, base.size() + 1, base + "-") == 0) close += (close.empty() ? "" : ", ") + std::string(s.tag);
        all += (all.empty() ? "" : ", ") + std::string(s.tag);
    }
    if (advice)
        *advice = close.empty() ? "the tool has texts for " + all + " (uninstpack languages); give all sixteen "
                                  "messages yourself for another language"
                                : "the tool's texts for this language are " + close +
                                      "; name that tag, or give all sixteen messages yourself";
    return nullptr;
}

std::vector<std::u16string> DefaultMessages(const LanguageSet& set, const std::u16string& product) {
    const std::u16string placeholder = u"{product}";
    std::vector<std::u16string> out;
    for (const char* utf8 : set.texts) {
        std::u16string text = Utf8ToUtf16(utf8).value_or(std::u16string());
        for (size_t at = text.find(placeholder); at != std::u16string::npos;
             at = text.find(placeholder, at + product.size()))
            text.replace(at, placeholder.size(), product);
        out.push_back(text);
    }
    return out;
}

}  // namespace uninstpack
