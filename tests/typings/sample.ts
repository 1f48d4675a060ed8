// A typed page script that uses every member of window.ryx as an app would. It is only
// compiled (tsc --strict), never run: the lines marked @ts-expect-error must stay errors, so the
// declarations cannot silently widen to any.

async function everyCommand(): Promise<void> {
  const version: string = await ryx.hello();
  const packaged: boolean = await window.ryx.isRuntime();

  const opened: string = await ryx.dialogs.openFile({ title: 'Open', fileTypes: 'Text|*.txt;All|*.*' });
  const saved: string = await ryx.dialogs.saveFile({ fileName: 'notes.txt', overwritePrompt: true });

  const exists: boolean = await ryx.files.fileExists({ filePath: 'data/notes.txt' });
  const deleted: boolean = await ryx.files.deleteFile({ filePath: 'data/old.txt' });
  await ryx.files.writeTextFile({ filePath: 'data/notes.txt', contents: 'a\nb' });
  await ryx.files.extractFile({ sourceFile: '/img/logo.png', targetFile: '/tmp/logo.png' });
  const note: string = await ryx.files.readTextFile({ filePath: 'data/notes.txt' });
  const picture: string = await ryx.files.readBase64({ filePath: 'data/a.png' });
  const entries: RyxFolderEntry[] = await ryx.folders.list({ dirPath: 'data' });
  const newest: string | null = entries.filter((e) => !e.isDir).map((e) => e.modified)[0] ?? null;
  const args: string[] = await ryx.app.getArgs();
  const bounds: RyxWindowBounds = await ryx.window.getBounds();
  await ryx.window.setBounds({ width: bounds.width + 10, left: 0 });

  const isDir: boolean = await ryx.folders.dirExists({ dirPath: 'data' });
  const removed: boolean = await ryx.folders.deleteDir({ dirPath: 'cache' });
  const folders: string[] = await Promise.all([
    ryx.folders.getTempDir(),
    ryx.folders.getUserDocumentsDir(),
    ryx.folders.getUserDesktopDir(),
    ryx.folders.getAppExecutableDir(),
    ryx.folders.getAppDataDir(),
  ]);

  const fullscreen: boolean = await ryx.app.inFullscreen();
  void ryx.app.enterFullscreen();
  void ryx.app.exitFullscreen();

  const style: 'normal' | 'ontop' = await ryx.window.getStyle();
  await ryx.window.setStyle({ style: 'ontop' });
  const state: 'normal' | 'minimized' | 'maximized' = await ryx.window.getState();
  await ryx.window.setState({ state: 'maximized' });
  const title: string = await ryx.window.getTitle();
  await ryx.window.setTitle({ title: 'Notes' });

  await ryx.shell.execute({ filePath: 'notes.txt', arguments: '' });
  await ryx.shell.explore({ filePath: 'data' });
  const output: string = await ryx.shell.command({ command: 'echo hi', workingDir: '/tmp', showWindow: false });
  const windows: string[] = await ryx.shell.windows();

  const theme: string = await ryx.themes.getTheme();
  const themes: string[] = await ryx.themes.getThemes();
  const switched: boolean = await ryx.themes.setTheme({ name: 'Windows10 Dark' });

  await ryx.base64.decodeToFile({ filePath: 'data/a.bin', contents: 'AAE=' });

  await ryx.system.logoff();
  await ryx.system.reboot();
  await ryx.system.shutdown();

  const items: RyxMenuItem[] = [
    { caption: '&File', id: 1, items: [{ caption: '&Open', id: 11, image: 'app/img/open.png' }, { caption: '-', id: 0 }] },
    { caption: 'Help', id: '2', enabled: false },
  ];
  await ryx.mainMenu.setItems({ items: JSON.stringify(items) });
  await ryx.mainMenu.updateItem({ id: 11, caption: 'Open…', enabled: true });

  ryx.events.onCloseQuery = () => {
    if (confirm('Quit?')) void ryx.app.close();
  };
  ryx.events.onMainMenuItemClick = (itemId: number) => console.log(itemId);
  ryx.events.onSecondInstance = (given: string[]) => console.log(given.join(' '));

  const raw: unknown = await ryx.call(10001, {});

  console.log(note, picture, newest, args);
  console.log(version, packaged, opened, saved, exists, deleted, isDir, removed, folders, fullscreen, style, state,
              title, output, windows, theme, themes, switched, raw);

  ryx.app.close().then((never) => {
    const nothing: never = never;
    return nothing;
  });

  // @ts-expect-error filePath is required
  await ryx.files.fileExists({});
  // @ts-expect-error the argument object is required
  await ryx.files.writeTextFile();
  // @ts-expect-error fileExists resolves with a boolean
  const notText: string = await ryx.files.fileExists({ filePath: 'a' });
  // @ts-expect-error no such group
  await ryx.network.fetch({});
  // @ts-expect-error the menu items go as JSON text
  await ryx.mainMenu.setItems({ items });
  // @ts-expect-error a window state is one of three words
  const wrongState: 'fullscreen' = await ryx.window.getState();
  console.log(notText, wrongState);
}

void everyCommand();
