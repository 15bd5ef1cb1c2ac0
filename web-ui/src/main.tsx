import { render } from 'preact';
import { App } from './app';
import { languageReady } from './i18n';
import './styles.css';

// The first page shows in its language at once: its texts are loaded first.
void languageReady().then(() => render(<App />, document.getElementById('app')!));
