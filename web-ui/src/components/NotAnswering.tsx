// Over every page while the player does not answer: what is shown may be out of date, and no
// control can be used until it answers again.
import { t } from '../i18n';
import { clockText } from '../i18n/format';

export function NotAnswering(props: { since: Date }) {
  const { since } = props;
  const seconds = since.getHours() * 3600 + since.getMinutes() * 60 + since.getSeconds();
  return (
    <div class="not-answering" role="alertdialog" aria-modal="true" aria-labelledby="not-answering-title" aria-describedby="not-answering-hint">
      <div class="not-answering-box">
        <p id="not-answering-title" class="not-answering-title">
          {t('link.notAnswering', { time: clockText(seconds, true) })}
        </p>
        <p id="not-answering-hint">{t('link.notAnsweringHint')}</p>
      </div>
    </div>
  );
}
